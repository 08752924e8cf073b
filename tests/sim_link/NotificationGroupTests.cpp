// Notification groups: ids, events, priorities and re-registration, against the
// stand-in simulator.

#include "StandinLink.h"

#include "sim_link/ClientEvent.h"
#include "sim_link/NotificationGroup.h"

#include <gtest/gtest.h>

namespace {

class NotificationGroupTest : public StandinLinkTest {
protected:
    ClientEventRegistry events;
    NotificationGroupRegistry groups;
};

} // namespace

TEST_F(NotificationGroupTest, IdsAreReusedAndClearedFirst) {
    auto first = groups.CreateGroup();
    auto second = groups.CreateGroup();
    EXPECT_EQ(first->Id(), 0u);
    EXPECT_EQ(second->Id(), 1u);
    EXPECT_EQ(LogTexts(*log), (std::vector<std::string>{"Creating notification group 0",
                                                        "Clearing notification group 0",
                                                        "Creating notification group 1",
                                                        "Clearing notification group 1"}));

    HANDLE handle = link.Connect();
    ASSERT_NE(handle, nullptr);
    events.SetHandle(handle);
    groups.SetHandle(handle);
    first.reset();
    auto again = groups.CreateGroup();
    EXPECT_EQ(again->Id(), 0u) << "the slot of a released group is taken again";
    ASSERT_TRUE(link.Sync(handle));
    EXPECT_EQ(link.Fields("ClearNotificationGroup"),
              (std::vector<std::string>{"GroupID=0", "GroupID=0"}))
        << "released, then cleared again before reuse";
    auto third = groups.CreateGroup();
    EXPECT_EQ(third->Id(), 2u);
    groups.SetHandle(nullptr);
    events.SetHandle(nullptr);
}

TEST_F(NotificationGroupTest, EventsAndPrioritiesAndANewHandle) {
    auto group = groups.CreateGroup();
    auto show = events.GetSimEvent("BKF.PLGN.Show");
    auto yoke = events.GetSimEvent("BKF.PLGN.RidgelineYokeSettings");
    group->AddEvent(show);
    group->AddEvent(yoke);
    group->SetPriority(NotificationGroup::DefaultPriority);

    HANDLE first = link.Connect();
    ASSERT_NE(first, nullptr);
    events.SetHandle(first);
    groups.SetHandle(first);
    ASSERT_TRUE(link.Sync(first));
    EXPECT_EQ(link.Fields("AddClientEventToNotificationGroup", 1),
              (std::vector<std::string>{"GroupID=0 EventID=2 bMaskable=0",
                                        "GroupID=0 EventID=3 bMaskable=0"}))
        << "events held while no handle was usable are requested now";
    EXPECT_EQ(link.Fields("SetNotificationGroupPriority", 1),
              (std::vector<std::string>{"GroupID=0 uPriority=2000000000"}));

    group->AddEvent(events.GetSimEvent("BKF.PLGN.Show"));
    EXPECT_TRUE(HasLogLine(*log, "simconnect: Requesting notifications for event 2 in group 0, "
                                 "already subscribed"));
    group->SetPriority(NotificationGroup::DefaultPriority);
    group->SetPriority(1);
    ASSERT_TRUE(link.Sync(first));
    EXPECT_EQ(link.Fields("AddClientEventToNotificationGroup", 1).size(), 2u);
    auto priorities = link.Requests("SetNotificationGroupPriority", 1);
    ASSERT_EQ(priorities.size(), 2u);
    EXPECT_EQ(priorities[1].fields, "GroupID=0 uPriority=1");
    EXPECT_TRUE(HasLogLine(*log, "Setting notification group 0 priority to 1: Txn " +
                                     std::to_string(priorities[1].sendId)));

    // The events reach the program through the group.
    link.Process().Command("clientevent BKF.PLGN.Show 5");
    bool delivered = false;
    for (DWORD start = GetTickCount(); !delivered && GetTickCount() - start < 3000;) {
        DrainMessages(
            first,
            [&](SIMCONNECT_RECV* data, DWORD size) {
                auto event = static_cast<SIMCONNECT_RECV_EVENT*>(data);
                if (data->dwID == SIMCONNECT_RECV_ID_EVENT && size >= sizeof *event)
                    delivered = event->uGroupID == 0 && event->uEventID == 2 && event->dwData == 5;
            },
            100);
    }
    EXPECT_TRUE(delivered) << link.Process().Record();

    HANDLE second = link.Connect();
    ASSERT_NE(second, nullptr);
    events.SetHandle(second);
    groups.SetHandle(second);
    ASSERT_TRUE(link.Sync(second));
    EXPECT_EQ(link.Fields("AddClientEventToNotificationGroup", 2),
              (std::vector<std::string>{"GroupID=0 EventID=2 bMaskable=0",
                                        "GroupID=0 EventID=3 bMaskable=0"}));
    EXPECT_EQ(link.Fields("SetNotificationGroupPriority", 2),
              (std::vector<std::string>{"GroupID=0 uPriority=1"}));

    group.reset();
    ASSERT_TRUE(link.Sync(second));
    EXPECT_EQ(link.Fields("ClearNotificationGroup", 2), (std::vector<std::string>{"GroupID=0"}))
        << "a released group is withdrawn";
    EXPECT_TRUE(LogTexts(*log, 0).empty());
    groups.SetHandle(nullptr);
    events.SetHandle(nullptr);
}
