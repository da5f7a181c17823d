// A shared library that is not a driver plug-in: it has code, but no
// getSharedLibrary entry.
extern "C" __attribute__((visibility("default"))) int plchostNotADriver()
{
    return 42;
}
