#pragma once

// The application object: owns every long-lived part of the program.

#include "sim_link/ClientEvent.h"
#include "sim_link/CommandPageClient.h"
#include "sim_link/CustomEventMapper.h"
#include "sim_link/DataDefinition.h"
#include "sim_link/NotificationGroup.h"
#include "sim_link/SimEventHoldQueue.h"
#include "sim_link/SimVarRegistry.h"

#include <memory>

class Plugin {
public:
    Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    // Simulator link, built in this order and destroyed in reverse.
    ClientEventRegistry clientEvents;
    NotificationGroupRegistry notificationGroups;
    DataDefinitionPool dataDefinitions;
    SimVarRegistry simVars;
    SimEventHoldQueue holdQueue;
    CommandPageClient commandPages;
    CustomEventMapper eventMapper;
};

// The one application object of the process.
extern std::unique_ptr<Plugin> gPlugin;
