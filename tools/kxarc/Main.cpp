// kxarc: create, list, test and extract archives of the setup's payload format.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/kxarc/CommandLine.h"
#include "tools/kxarc/Commands.h"
#include "tools/kxarc/Progress.h"

using namespace kx;
using namespace kx::kxarc;

namespace {

const char* const Usage =
    "usage: kxarc create [options] ARCHIVE PATH...\n"
    "       kxarc list ARCHIVE\n"
    "       kxarc test ARCHIVE\n"
    "       kxarc extract ARCHIVE [-C DIR] [NAME...]\n"
    "       kxarc --help\n"
    "\n"
    "Commands:\n"
    "  create   make a new ARCHIVE (an existing one is replaced) from the files\n"
    "           and directory trees given; a file is stored under its bare name, a\n"
    "           directory's files under the directory's own name and their path\n"
    "           below it, empty directories as folder entries\n"
    "  list     show every entry: size, stored size, ratio, date, flags, name\n"
    "  test     read every block, check its CRC and expand it; name each damaged entry\n"
    "  extract  write the entries (or only those NAMEs, compared ignoring case)\n"
    "           below DIR (default: the current directory); names that are\n"
    "           absolute, carry a drive letter or a \"..\" component are refused\n"
    "\n"
    "Options of create:\n"
    "  -l, --level LEVEL      max, normal (default), fast, superfast or none\n"
    "  -b, --block-size N     source bytes per block, at least 1024 (default 65536)\n"
    "  -s, --solid            store everything as one solid inner archive\n"
    "  -c, --comment TEXT     archive comment\n"
    "  -j, --jobs N           compression threads (default: all cores; 1: none extra)\n"
    "      --seed N           seed of the archive identifier, for reproducible archives\n"
    "\n"
    "Other options:\n"
    "  -C, --directory DIR    extract: destination directory (made when missing)\n"
    "      --no-progress      no progress bar (it is shown only when stderr is a terminal)\n"
    "  -h, --help             this text\n"
    "\n"
    "Exit status:\n"
    "  0  success\n"
    "  1  damaged entries found, files left out or names refused\n"
    "  2  bad command line\n"
    "  3  the archive could not be opened, read or created\n";

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = SplitOptionValues(argc, argv, "lbcjC");
    if (args.empty())
        return UsageError("missing command");
    for (const auto& a : args)
        if (a == "-h" || a == "--help") {
            std::fputs(Usage, stdout);
            return ExitOk;
        }
    std::string command = args[0];
    TCreateOptions create;
    std::string dir = ".";
    bool progress = TProgressBar::StderrIsTerminal();
    TArgReader reader(args, 1);
    std::string a;
    while (reader.NextOption(a)) {
        std::string v;
        unsigned long long n = 0;
        if (a == "--no-progress") {
            progress = false;
        } else if (command == "create" && (a == "-b" || a == "--block-size")) {
            if (!reader.Value(v) || !ParseNumber(v, 0x7FFFFFFF, n) || n < 1024 || n > 64u * 1024 * 1024)
                return UsageError("--block-size wants a number from 1024 to 67108864");
            create.BlockSize = static_cast<std::int32_t>(n);
        } else if (command == "create" && (a == "-s" || a == "--solid")) {
            create.Solid = true;
        } else if (command == "create" && (a == "-c" || a == "--comment")) {
            if (!reader.Value(create.Comment))
                return UsageError("--comment wants a text");
        } else if (command == "extract" && (a == "-C" || a == "--directory")) {
            if (!reader.Value(dir) || dir.empty())
                return UsageError("-C wants a directory");
        } else if (TOptionRead r = command == "create" ? ReadWriteOption(a, reader, create) : TOptionRead::NotMine;
                   r != TOptionRead::NotMine) {
            if (r == TOptionRead::Refused)
                return ExitUsage;
        } else {
            return UsageError("unknown option '" + a + "' for '" + command + "'");
        }
    }
    const std::vector<std::string>& operands = reader.Operands();

    if (command == "create") {
        if (operands.size() < 2)
            return UsageError("create wants an archive name and at least one path");
        return CreateCommand(operands[0], {operands.begin() + 1, operands.end()}, create, progress);
    }
    if (command == "list" || command == "test") {
        if (operands.size() != 1)
            return UsageError(command + " wants exactly one archive name");
        return command == "list" ? ListCommand(operands[0]) : TestCommand(operands[0], progress);
    }
    if (command == "extract") {
        if (operands.empty())
            return UsageError("extract wants an archive name");
        return ExtractCommand(operands[0], dir, {operands.begin() + 1, operands.end()}, progress);
    }
    return UsageError("unknown command '" + command + "'");
}
