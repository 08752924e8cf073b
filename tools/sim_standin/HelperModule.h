#pragma once

#include "RecordFile.h"
#include "WireFormat.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace standin {

// The simulator-side helper: owns the command-page areas, reads every page written to
// them and answers with the completion event carrying the page index.
class HelperModule {
public:
    static constexpr uint32_t PageCount = 4;
    static constexpr uint32_t PageSize = 4096;
    static constexpr const char* FinishedEventName = "BKF.XPARAM.CMD_FINISHED";

    // finished(page) transmits the completion event.
    HelperModule(RecordFile& record, std::function<void(uint32_t)> finished);

    // The helper's client-data area of that name, or null.
    Bytes* Area(const std::string& name);
    // Called after a client wrote into the area of that name.
    void OnAreaWritten(const std::string& name);
    // Hold answers (true) or answer every held page now and from then on (false).
    void SetHold(bool hold);

    static std::string PageName(uint32_t page);

private:
    void Answer(uint32_t page);

    RecordFile& record;
    std::function<void(uint32_t)> finished;
    std::map<std::string, Bytes> areas;
    bool hold = false;
    std::vector<uint32_t> held;
};

} // namespace standin
