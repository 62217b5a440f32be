// kxpack: turns a package folder into a setup program, without a compiler.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/kxarc/CommandLine.h"
#include "tools/kxarc/Progress.h"
#include "tools/kxpack/Pack.h"

using namespace kx;
using namespace kx::kxpack;

namespace {

const char* const Usage =
    "usage: kxpack [options] PACKAGE_DIR -o OUT.exe\n"
    "       kxpack --check [options] PACKAGE_DIR\n"
    "       kxpack --help\n"
    "\n"
    "Checks the package in PACKAGE_DIR, packs its payload and writes OUT.exe: a copy\n"
    "of the setup stub with the package as KXFILE resources (INIFILE, SETUPX,\n"
    "UNINST, LICCN, LICB5, LICEN). OUT.exe appears only when it is complete.\n"
    "\n"
    "The package folder:\n"
    "  setup.ini   the install script\n"
    "  LICCN.txt   the licence in Simplified Chinese, GBK (code page 936)\n"
    "  LICB5.txt   the licence in Traditional Chinese, Big5 (code page 950)\n"
    "  LICEN.txt   the licence in English, ASCII\n"
    "  files/      the payload: each file under its stored name, the name a\n"
    "              component of setup.ini gives it (files in sub-folders are\n"
    "              stored as \"folder\\name\")\n"
    "\n"
    "Checks (each finding names the file and line): the script's sections and\n"
    "keys; every component's files are in the payload, and every payload file is\n"
    "installed (a warning otherwise); shortcut targets, DESTDIR and ReNameList\n"
    "files, SERVICEFILE and AutoRun belong to a component; AutoReg entries have\n"
    "three parts; GB, B5 and EN sections all exist and list the same components\n"
    "in the same order; GB texts are GBK, B5 texts Big5, everything else ASCII\n"
    "(UTF-8 is named as such); the licences are not empty and valid in their\n"
    "code pages; registry keys are relative to HKEY_LOCAL_MACHINE.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE      the setup program to write (an existing one is replaced)\n"
    "      --check            check the package only; write nothing\n"
    "  -l, --level LEVEL      payload compression: max, normal (default), fast,\n"
    "                         superfast or none\n"
    "  -j, --jobs N           compression threads (default: all cores); the output\n"
    "                         is the same for every N\n"
    "      --seed N           seed of the payload's archive identifier, so that the\n"
    "                         same inputs give the same bytes\n"
    "      --payload FILE     embed this ready payload archive instead of packing\n"
    "                         files/; the script is checked against its entries and\n"
    "                         every entry is test-extracted\n"
    "      --stub FILE        the setup stub (default: setupstub.exe beside kxpack or\n"
    "                         in ../share/kxsetup)\n"
    "      --uninstaller FILE the uninstaller to carry (default: kxUnInst.exe, looked\n"
    "                         for in the same places)\n"
    "      --force            report package errors as warnings and write OUT.exe\n"
    "                         anyway (for test packages that are wrong on purpose)\n"
    "      --allow-64bit      accept a 64-bit stub and uninstaller (test builds only:\n"
    "                         such a setup does not run on 32-bit Windows)\n"
    "      --no-progress      no progress bar (it is shown only when stderr is a\n"
    "                         terminal)\n"
    "  -h, --help             this text\n"
    "\n"
    "Exit status:\n"
    "  0  OUT.exe written (with --check: the package has no errors)\n"
    "  1  the package has errors; nothing written\n"
    "  2  bad command line\n"
    "  3  input/output failure: a file cannot be read or written, or the stub or\n"
    "     the uninstaller is not a usable 32-bit Windows program\n";

} // namespace

int main(int argc, char** argv) {
    kxarc::SetToolName("kxpack");
    std::vector<std::string> args = kxarc::SplitOptionValues(argc, argv, "olj");
    for (const auto& a : args) {
        if (a == "--")
            break;
        if (a == "-h" || a == "--help") {
            std::fputs(Usage, stdout);
            return ExitOk;
        }
    }
    TPackOptions o;
    o.Progress = kxarc::TProgressBar::StderrIsTerminal();
    o.Archive.BlockSize = 65536; // the setup's payload always has 64 KB blocks
    kxarc::TArgReader reader(args, 0);
    std::string a;
    auto file = [&](std::string& out) { return reader.Value(out) && !out.empty(); };
    while (reader.NextOption(a)) {
        if (a == "-o" || a == "--output") {
            if (!file(o.Output))
                return kxarc::UsageError("--output wants a file name");
        } else if (a == "--check") {
            o.CheckOnly = true;
        } else if (a == "--payload") {
            if (!file(o.Payload))
                return kxarc::UsageError("--payload wants an archive file");
        } else if (a == "--stub") {
            if (!file(o.Stub))
                return kxarc::UsageError("--stub wants a file");
        } else if (a == "--uninstaller") {
            if (!file(o.Uninstaller))
                return kxarc::UsageError("--uninstaller wants a file");
        } else if (a == "--force") {
            o.Force = true;
        } else if (a == "--allow-64bit") {
            o.Allow64 = true;
        } else if (a == "--no-progress") {
            o.Progress = false;
        } else if (a == "-v" || a == "--verbose") {
            o.Verbose = true;
        } else if (kxarc::TOptionRead r = kxarc::ReadWriteOption(a, reader, o.Archive);
                   r != kxarc::TOptionRead::NotMine) {
            if (r == kxarc::TOptionRead::Refused)
                return ExitUsage;
        } else {
            return kxarc::UsageError("unknown option '" + a + "'");
        }
    }
    const std::vector<std::string>& operands = reader.Operands();
    if (operands.size() != 1)
        return kxarc::UsageError(operands.empty() ? "missing the package folder" : "more than one package folder given");
    o.PackageDir = operands[0];
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
        unsigned long long seconds = 0;
        // Up to the last second of 9999, the last year a date of the archive can hold.
        if (!kxarc::ParseNumber(epoch, 253402300799ull, seconds))
            return kxarc::UsageError(std::string("SOURCE_DATE_EPOCH=") + epoch +
                                     " is not a number of seconds since 1970");
        o.HaveSourceDateEpoch = true;
        o.SourceDateEpoch = static_cast<std::int64_t>(seconds);
    }
    if (o.CheckOnly && !o.Output.empty())
        return kxarc::UsageError("--check writes nothing; leave out --output");
    if (!o.CheckOnly && o.Output.empty())
        return kxarc::UsageError("missing -o OUT.exe (or --check to check only)");
    return PackCommand(o);
}
