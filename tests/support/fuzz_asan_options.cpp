// AddressSanitizer defaults for the fuzz targets (ASAN_OPTIONS still
// overrides them). One run allocates at most a few megabytes, so a 16 MB
// quarantine still catches any use of memory freed during the run. With
// the default 256 MB, freed memory comes back only after hundreds of runs,
// every run works on pages the process has not touched for a long time,
// and the page faults cost more than the run itself.
extern "C" const char* __asan_default_options()
{
    return "quarantine_size_mb=16";
}
