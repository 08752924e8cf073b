#include "core/Plugin.h"

std::unique_ptr<Plugin> gPlugin;

Plugin::Plugin()
    : simVars(&dataDefinitions), commandPages(clientEvents, notificationGroups),
      eventMapper(commandPages) {}
