// Stands in for the uninstaller in the registration tests: a program that only
// carries a version resource (VersionInfo.rc, major version KX_VERSION_MAJOR).
int main() { return 0; }
