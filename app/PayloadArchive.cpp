// The payload archive over the resource bytes, and its check.
#include "app/PayloadArchive.h"

#include "app/CopyStep.h"
#include "base/Exception.h"
#include "base/Text.h"

namespace kx {

namespace {

const char kPayloadName[] = "SETUPX";

bool ListHolds(const std::vector<std::string>& list, const std::string& name) {
    for (const std::string& s : list)
        if (SameText(s, name)) return true;
    return false;
}

} // namespace

TPayloadArchive::TPayloadArchive(std::string_view payload) : FPayload(payload) {
    SetFileName(kPayloadName);
    SetReadOnly(true);
}

TPayloadArchive::~TPayloadArchive() { CloseForDestruction(); }

std::unique_ptr<TStream> TPayloadArchive::CreateFileStream(const std::string& fileName, std::uint16_t mode) {
    if (fileName != kPayloadName || (mode & 3) != 0 || mode == 0xFFFF)
        throw EFOpenError("Cannot open file " + fileName);
    return std::make_unique<TReadOnlyMemoryStream>(FPayload.data(), static_cast<std::int64_t>(FPayload.size()));
}

bool TPayloadArchive::SegmentFileExists(const std::string& fileName) { return fileName == kPayloadName; }

TPayloadCheck CheckPayload(std::string_view payload, const std::vector<std::string>& compFiles) {
    TPayloadCheck check;
    try {
        TPayloadArchive arc(payload);
        arc.Open();
        if (arc.Header().ArchiveFlag & afSolid) {
            check.Problem = "solid archive";
            return check;
        }
        if (arc.SpansSegments()) {
            check.Problem = "archive of several segments";
            return check;
        }
        arc.VerifyBlocks();
        for (const std::string& line : compFiles) {
            const std::size_t eq = line.find('=');
            if (eq == std::string::npos) continue;
            for (const std::string& entry : SplitText(line.substr(eq + 1), ';')) {
                if (entry.empty()) continue;
                const std::string name = SplitFileEntry(entry).StoredName;
                TFileEntry found;
                if (!arc.FindFile(name, found) && !ListHolds(check.Missing, name)) check.Missing.push_back(name);
            }
        }
        arc.Close();
    } catch (const EArchiverBadCRC&) {
        check.Problem = "a block whose CRC-32 does not match";
        return check;
    } catch (const std::exception& e) {
        check.Problem = *e.what() ? e.what() : "damaged archive";
        return check;
    }
    if (!check.Missing.empty()) {
        check.Problem = "the payload lacks " + check.Missing.front();
        return check;
    }
    check.Sound = true;
    return check;
}

} // namespace kx
