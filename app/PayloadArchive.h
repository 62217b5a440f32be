// The setup's payload: the archive component over the bytes of the program's
// own SETUPX resource, read where Windows mapped them (no copy on disk, none in
// memory), and the check of the whole payload before the first page.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "archive/QdxArch2.h"

namespace kx {

class TPayloadArchive : public TQdxArch2 {
public:
    // payload must outlive the component. Opened read-only.
    explicit TPayloadArchive(std::string_view payload);
    ~TPayloadArchive() override;

protected:
    std::unique_ptr<TStream> CreateFileStream(const std::string& fileName, std::uint16_t mode) override;
    bool SegmentFileExists(const std::string& fileName) override;

private:
    std::string_view FPayload;
};

struct TPayloadCheck {
    bool Sound = false;
    std::string Problem;               // what is wrong, for the log (not shown)
    std::vector<std::string> Missing;  // stored names the script installs that the payload lacks
};

// Walks the whole payload: its header and every entry, every block's bounds and
// CRC-32 (without expanding them), and that every stored name of the component
// table is one of its files. A solid archive or one that spans segments is no
// payload a setup can carry.
TPayloadCheck CheckPayload(std::string_view payload, const std::vector<std::string>& compFiles);

} // namespace kx
