// fontconfig leaks a little while parsing its configuration files (inside libfontconfig, no
// pointer of ours involved); the leak checker of sanitizer builds is told to ignore it. Compiled
// into every test program (an archive member nobody refers to would never be linked).
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
