#!/bin/sh
# makensis building a 64-bit installer (CPack splits its own arguments at blanks).
exec makensis "-XTarget amd64-unicode" "$@"
