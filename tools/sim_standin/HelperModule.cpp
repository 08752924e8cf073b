#include "HelperModule.h"

#include "RegistrationRecorder.h"

#include <cstdio>

namespace standin {

HelperModule::HelperModule(RecordFile& record, std::function<void(uint32_t)> finished)
    : record(record), finished(std::move(finished)) {
    for (uint32_t page = 0; page < PageCount; ++page)
        areas[PageName(page)] = Bytes(PageSize, 0);
}

std::string HelperModule::PageName(uint32_t page) {
    char name[32];
    std::snprintf(name, sizeof name, "BKF.CMD.%08x", page);
    return name;
}

Bytes* HelperModule::Area(const std::string& name) {
    auto found = areas.find(name);
    return found == areas.end() ? nullptr : &found->second;
}

void HelperModule::OnAreaWritten(const std::string& name) {
    for (uint32_t page = 0; page < PageCount; ++page) {
        if (name != PageName(page))
            continue;
        const Bytes& area = areas[name];
        uint32_t length = uint32_t(area[0]) | (uint32_t(area[1]) << 8);
        std::string fields = "Page=" + std::to_string(page) +
                             " PayloadLength=" + std::to_string(length) + " Payload=";
        if (length > PageSize - 2)
            fields += "(too long)";
        else
            fields += ToHex(area.data() + 2, length);
        record.Write(0, -1, "helper-page", fields);
        if (length <= PageSize - 2)
            RecordRegistrations(record, page, area.data() + 2, length);
        if (hold)
            held.push_back(page);
        else
            Answer(page);
        return;
    }
}

void HelperModule::SetHold(bool value) {
    hold = value;
    if (hold)
        return;
    std::vector<uint32_t> pages;
    pages.swap(held);
    for (uint32_t page : pages)
        Answer(page);
}

void HelperModule::Answer(uint32_t page) {
    finished(page);
}

} // namespace standin
