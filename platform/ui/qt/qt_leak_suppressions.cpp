// Compiled into every program that uses the Qt front end. The font
// configuration and desktop bus libraries keep their caches for the life
// of the process; leak checking (sanitizer builds) is told so here, and
// nothing else.
extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n";
}
