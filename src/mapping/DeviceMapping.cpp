#include "mapping/DeviceMapping.h"

#include "mapping/MappingErrors.h"

namespace pt = boost::property_tree;

namespace {

template <typename T> T Required(const pt::ptree& section, const char* key) {
    try {
        return section.get<T>(key);
    } catch (const pt::ptree_bad_path& e) {
        throw FileFormatException(e.what());
    }
}

} // namespace

DeviceMapping::DeviceMapping(const pt::ptree& section)
    : Port(Required<std::string>(section, "Port")), Model(Required<std::string>(section, "Model")) {
    Function = Required<int>(section, "Function");
    Id = section.get<std::string>("Id", "");
}

DeviceMapping::DeviceMapping(std::string port, int function, std::string model, std::string id)
    : Port(std::move(port)), Function(function), Model(std::move(model)), Id(std::move(id)) {}

pt::ptree DeviceMapping::ToPtree() const {
    pt::ptree section;
    section.push_back(std::make_pair("Port", pt::ptree(Port)));
    section.push_back(std::make_pair("Model", pt::ptree(Model)));
    section.push_back(std::make_pair("Function", pt::ptree(std::to_string(Function))));
    if (!Id.empty())
        section.push_back(std::make_pair("Id", pt::ptree(Id)));
    return section;
}
