// kxpack: turns a package folder into a setup program, without a compiler.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/kxarc/CommandLine.h"
#include "tools/kxarc/Progress.h"
#include "tools/kxpack/Pack.h"
#include "tools/kxpack/Package.h"
#include "tools/kxpack/StarterPackage.h"

using namespace kx;
using namespace kx::kxpack;

namespace {

const char* const Usage =
    "usage: kxpack [options] PACKAGE_DIR -o OUT.exe\n"
    "       kxpack --check [options] PACKAGE_DIR\n"
    "       kxpack --init DIR\n"
    "       kxpack --help\n"
    "\n"
    "Checks the package in PACKAGE_DIR, packs its payload and writes OUT.exe: a copy\n"
    "of the setup stub with the package as KXFILE resources (INIFILE, SETUPX,\n"
    "UNINST, LICCN, LICB5, LICEN), the package's version resource and, when the\n"
    "package has one, its icon. OUT.exe appears only when it is complete.\n"
    "\n"
    "The package folder (kxpack --init DIR writes a commented one to start from):\n"
    "  setup.ini   the install script; docs/setup-ini.md describes every section\n"
    "              and key, the code pages and the limits\n"
    "  LICCN.txt   the licence in Simplified Chinese, GBK (code page 936)\n"
    "  LICB5.txt   the licence in Traditional Chinese, Big5 (code page 950)\n"
    "  LICEN.txt   the licence in English, ASCII\n"
    "  setup.ico   optional: the icon of OUT.exe\n"
    "  files/      the payload: each file under its stored name, the name a\n"
    "              component of setup.ini gives it (files in sub-folders are\n"
    "              stored as \"folder\\name\"); a file no component installs is\n"
    "              left out\n"
    "\n"
    "Checks (each finding names the file and line; errors stop kxpack): the\n"
    "script's sections (an unknown one is an error) and keys; every component's\n"
    "files are in the payload; no component name twice; shortcut targets, DESTDIR\n"
    "and ReNameList files, SERVICEFILE and AutoRun belong to a component; AutoReg\n"
    "entries have three parts; GB, B5 and EN sections all exist and list the same\n"
    "components in the same order; no installed path can exceed 259 characters\n"
    "under the suggested folders; GB texts are GBK, B5 texts Big5, everything else\n"
    "ASCII; the licences and setup.ico are usable; registry keys are relative to\n"
    "HKEY_LOCAL_MACHINE. Warnings: REG outside ...\\CurrentVersion\\Uninstall, texts\n"
    "longer than the wizard shows. Names from GB and B5 sections are shown in the\n"
    "terminal's encoding. A setup program larger than Windows loads (1536 MB) is\n"
    "refused before anything is packed.\n"
    "\n"
    "The output is the same for the same package and stub on any machine: entries\n"
    "carry their files' times in UTC, or SOURCE_DATE_EPOCH when it is set, and the\n"
    "archive identifier comes from the package (or --seed).\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE      the setup program to write (an existing one is replaced)\n"
    "      --check            check the package only; write nothing\n"
    "      --init DIR         write a starting package into DIR (new or empty)\n"
    "  -l, --level LEVEL      payload compression: max, normal (default), fast,\n"
    "                         superfast or none\n"
    "  -j, --jobs N           compression threads (default: all cores); the output\n"
    "                         is the same for every N\n"
    "      --seed N           seed of the payload's archive identifier (default: drawn\n"
    "                         from the package)\n"
    "      --payload FILE     embed this ready payload archive instead of packing\n"
    "                         files/; the script is checked against its entries and\n"
    "                         every entry is test-extracted\n"
    "      --stub FILE        the setup stub (default: setupstub.exe beside kxpack or\n"
    "                         in ../share/kxsetup from there)\n"
    "      --uninstaller FILE the uninstaller to carry (default: kxUnInst.exe, looked\n"
    "                         for in the same places)\n"
    "      --sign-command CMD sign the uninstaller before it is embedded and OUT.exe\n"
    "                         when it is written: CMD runs with {} replaced by the\n"
    "                         file, which it signs in place, or with {signed} where\n"
    "                         it writes the signed copy, e.g.\n"
    "                         \"osslsigncode sign -pkcs12 my.pfx -in {} -out {signed}\"\n"
    "      --force            report package errors as warnings and write OUT.exe\n"
    "                         anyway (for test packages that are wrong on purpose)\n"
    "      --allow-64bit      accept a 64-bit stub and uninstaller (test builds only:\n"
    "                         such a setup does not run on 32-bit Windows)\n"
    "  -v, --verbose          say which stub, uninstaller, dates and seed are used\n"
    "      --no-progress      no progress bar (it is shown only when stderr is a\n"
    "                         terminal)\n"
    "  -h, --help             this text\n"
    "\n"
    "Exit status:\n"
    "  0  OUT.exe written (with --check: the package has no errors)\n"
    "  1  the package has errors, or OUT.exe would be too large; nothing written\n"
    "  2  bad command line\n"
    "  3  input/output failure: a file cannot be read or written, the stub or the\n"
    "     uninstaller is not a usable 32-bit Windows program, or signing failed\n";

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
    std::string a, init;
    auto file = [&](std::string& out) { return reader.Value(out) && !out.empty(); };
    while (reader.NextOption(a)) {
        if (a == "-o" || a == "--output") {
            if (!file(o.Output))
                return kxarc::UsageError("--output wants a file name");
        } else if (a == "--check") {
            o.CheckOnly = true;
        } else if (a == "--init") {
            if (!file(init))
                return kxarc::UsageError("--init wants the folder to write the package into");
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
        } else if (a == "--sign-command") {
            if (!reader.Value(o.SignCommand) || o.SignCommand.find("{}") == std::string::npos)
                return kxarc::UsageError("--sign-command wants a command with {} for the file to sign");
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
    if (!init.empty()) {
        if (!operands.empty() || !o.Output.empty() || o.CheckOnly)
            return kxarc::UsageError("--init takes only the folder to write into");
        try {
            WriteStarterPackage(init);
        } catch (const EInputOutput& e) {
            kxarc::ReportError(e.Message());
            return ExitInputOutput;
        }
        std::printf("kxpack: wrote a starting package into %s; docs/setup-ini.md describes its script\n",
                    init.c_str());
        return ExitOk;
    }
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
