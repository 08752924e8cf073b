#pragma once

#include <boost/property_tree/ptree.hpp>

#include <string>

// One stored device assignment: the panel function given to a device.
class DeviceMapping {
public:
    // Reads Port, Model, Function and the optional Id of one section; throws
    // FileFormatException when a required key is missing.
    explicit DeviceMapping(const boost::property_tree::ptree& section);
    DeviceMapping(std::string port, int function, std::string model, std::string id);

    // The section as written: Port, Model, Function and Id when not empty.
    boost::property_tree::ptree ToPtree() const;

    void SetFunction(int function) { Function = function; }
    void SetPort(std::string port) { Port = std::move(port); }

    std::string Port;
    int Function = 0;
    std::string Model;
    std::string Id;
};
