#include "TestSupport.h"

#include "mapping/CommandMap.h"
#include "mapping/CommandMapErrors.h"
#include "support/StringHelpers.h"

#include <gtest/gtest.h>

namespace {

class CommandMapTest : public ::testing::Test {
protected:
    // Loads the text as one file and returns its UTF-8 path.
    std::string LoadText(const std::string& text, const std::string& name = "map.ini") {
        const std::wstring path = folder.Write(name, text);
        loaded = map.Load(path);
        return folder.Path(name).u8string();
    }

    const std::vector<CommandAction>& Actions(const std::string& name, int kind,
                                              const std::string& section = "HW#CN1") {
        const auto hash = section.find('#');
        const auto& commands = map.Commands(section.substr(0, hash), section.substr(hash + 1));
        auto it = commands.find(CommandKey{name, kind});
        if (it == commands.end())
            throw std::runtime_error("no binding for " + name);
        return it->second;
    }

    LogCapture log;
    ScratchFolder folder;
    CommandMap map;
    bool loaded = false;
};

TEST_F(CommandMapTest, CommandKeysTakeTheirEdgeAndConditionFromTheKey) {
    const std::string path = LoadText("[HW#CN1]\n"
                                      "BTN = EV_ONE\n"
                                      "BTN@VAR|UNIT#1 = EV_TWO\n"
                                      "BTN@VAR|UNIT = EV_THREE\n"
                                      "BTN+ = EV_PRESS\n"
                                      "BTN- = EV_RELEASE\n"
                                      "+ = EV_EMPTY\n"
                                      "SW@V2|bool#3+ = EV_COND_PRESS\n");
    ASSERT_TRUE(loaded);

    const auto& once = Actions("BTN", CommandKey::Once);
    ASSERT_EQ(once.size(), 2u);
    EXPECT_EQ(once[0].eventName, "EV_ONE");
    EXPECT_FALSE(once[0].keyCondition);
    EXPECT_EQ(once[1].eventName, "EV_TWO");
    ASSERT_TRUE(once[1].keyCondition);
    EXPECT_EQ(once[1].keyCondition->variableName, "VAR");
    EXPECT_EQ(once[1].keyCondition->unit, "UNIT");
    EXPECT_EQ(once[1].keyCondition->value, 1);
    EXPECT_EQ(once[1].keyCondition->dataType, 3);

    // Without "#" the key keeps its "@" text as the command name.
    const auto& noHash = Actions("BTN@VAR|UNIT", CommandKey::Once);
    ASSERT_EQ(noHash.size(), 1u);
    EXPECT_EQ(noHash[0].eventName, "EV_THREE");
    ASSERT_TRUE(noHash[0].keyCondition);
    EXPECT_EQ(noHash[0].keyCondition->variableName, "VAR");
    EXPECT_EQ(noHash[0].keyCondition->unit, "UNIT");
    EXPECT_EQ(noHash[0].keyCondition->value, 0);

    EXPECT_EQ(Actions("BTN", CommandKey::Press).at(0).eventName, "EV_PRESS");
    EXPECT_EQ(Actions("BTN", CommandKey::Release).at(0).eventName, "EV_RELEASE");
    EXPECT_EQ(Actions("", CommandKey::Press).at(0).eventName, "EV_EMPTY");

    const auto& condPress = Actions("SW", CommandKey::Press);
    ASSERT_TRUE(condPress.at(0).keyCondition);
    EXPECT_EQ(condPress[0].keyCondition->unit, "bool");
    EXPECT_EQ(condPress[0].keyCondition->value, 3);
    EXPECT_TRUE(log.LinesAt(BKFLog::LevelError).empty());
}

TEST_F(CommandMapTest, ActionListsAndEventNameForms) {
    LoadText("[HW#CN1]\n"
             "L1 = [EV_ONE,,EV_TWO]\n"
             "L2 = [EV_ONE, EV_TWO]\n"
             "L3 = []\n"
             "L4 = [EV_ONE, B]\n"
             "H1 = A\n"
             "H2 = DEC\n"
             "H3 = 65536\n"
             "H4 = 0x1F\n"
             "H5 = ADDX\n"
             "D1 = EVENT#12abc\n"
             "D2 = EVENT#-7\n"
             "D3 = EVENT#\n"
             "D4 = 99#4\n"
             "I1 = EVENT#+=5\n"
             "I2 = EVENT#-=5\n"
             "I3 = EVENT#+=5[2]\n"
             "I4 = EVENT#-=3[IDX\n"
             "I5 = EVENT#+=\n"
             "I6 = EVENT#+=7[1]tail\n");
    ASSERT_TRUE(loaded);

    const auto& l1 = Actions("L1", CommandKey::Once);
    ASSERT_EQ(l1.size(), 2u);
    EXPECT_EQ(l1[0].eventName, "EV_ONE");
    EXPECT_EQ(l1[1].eventName, "EV_TWO");
    const auto& l2 = Actions("L2", CommandKey::Once);
    ASSERT_EQ(l2.size(), 2u);
    EXPECT_EQ(l2[1].eventName, " EV_TWO");
    EXPECT_TRUE(Actions("L3", CommandKey::Once).empty());
    const auto& l4 = Actions("L4", CommandKey::Once);
    ASSERT_EQ(l4.size(), 2u);
    EXPECT_EQ(l4[1].eventName, "# B");

    EXPECT_EQ(Actions("H1", CommandKey::Once).at(0).eventName, "#A");
    EXPECT_EQ(Actions("H2", CommandKey::Once).at(0).eventName, "#DEC");
    EXPECT_EQ(Actions("H3", CommandKey::Once).at(0).eventName, "#65536");
    EXPECT_EQ(Actions("H4", CommandKey::Once).at(0).eventName, "#0x1F");
    EXPECT_EQ(Actions("H5", CommandKey::Once).at(0).eventName, "ADDX");

    EXPECT_EQ(Actions("D1", CommandKey::Once).at(0).fixedData, 12);
    EXPECT_EQ(Actions("D2", CommandKey::Once).at(0).fixedData, -7);
    // A data text that does not convert rejects the entry; its key stays with no actions.
    EXPECT_TRUE(Actions("D3", CommandKey::Once).empty());
    EXPECT_EQ(Actions("D4", CommandKey::Once).at(0).eventName, "#99");
    EXPECT_EQ(Actions("D4", CommandKey::Once).at(0).fixedData, 4);

    EXPECT_EQ(Actions("I1", CommandKey::Once).at(0).eventName, "EVENT");
    EXPECT_EQ(Actions("I1", CommandKey::Once).at(0).fixedData, 5);
    EXPECT_EQ(Actions("I2", CommandKey::Once).at(0).fixedData, -5);
    EXPECT_EQ(Actions("I3", CommandKey::Once).at(0).eventName, "EVENT[2]");
    EXPECT_EQ(Actions("I3", CommandKey::Once).at(0).fixedData, 5);
    EXPECT_EQ(Actions("I4", CommandKey::Once).at(0).eventName, "EVENT[IDX");
    EXPECT_EQ(Actions("I4", CommandKey::Once).at(0).fixedData, -3);
    // "+=" alone is shorter than three characters and does not convert.
    EXPECT_TRUE(Actions("I5", CommandKey::Once).empty());
    EXPECT_EQ(Actions("I6", CommandKey::Once).at(0).eventName, "EVENT[1]");
    EXPECT_EQ(Actions("I6", CommandKey::Once).at(0).fixedData, 7);

    const std::string path = folder.Path("map.ini").u8string();
    EXPECT_TRUE(log.Contains(BKFLog::LevelInfo, path + ": entry for D3 is invalid"));
    EXPECT_TRUE(log.Contains(BKFLog::LevelInfo, path + ": entry for I5 is invalid"));
}

TEST_F(CommandMapTest, HoldFormsWithTwoThreeAndFourParts) {
    LoadText("[HW#CN1]\n"
             "A = 0.5^EV_SHORT^EV_LONG\n"
             "B = 0.5^EV_X\n"
             "C = abc^EV_SHORT^EV_LONG\n"
             "D = 1^EV_A^EV_B^EV_C\n"
             "E = ^^2^EV_S#4^^EV_L#-2\n"
             "F = 1^EV_A^2^EV_B^EV_C\n"
             "G = 1^EV_A^bad^EV_B^EV_C\n"
             "H@V|U#1 = 1.5^EV_S^EV_L\n");

    const auto& a = Actions("A", CommandKey::Once).at(0);
    EXPECT_EQ(a.eventName, "EV_SHORT");
    ASSERT_TRUE(a.hold);
    EXPECT_FLOAT_EQ(a.hold->holdTime, 0.5f);
    EXPECT_EQ(a.hold->longEventName, "EV_LONG");

    const auto& b = Actions("B", CommandKey::Once).at(0);
    EXPECT_EQ(b.eventName, "0.5^EV_X");
    EXPECT_FALSE(b.hold);

    EXPECT_TRUE(Actions("C", CommandKey::Once).empty());

    const auto& d = Actions("D", CommandKey::Once).at(0);
    EXPECT_EQ(d.eventName, "EV_A");
    EXPECT_EQ(d.hold->longEventName, "EV_B^EV_C");

    const auto& e = Actions("E", CommandKey::Once).at(0);
    EXPECT_EQ(e.eventName, "EV_S");
    EXPECT_EQ(e.fixedData, 4);
    EXPECT_FLOAT_EQ(e.hold->holdTime, 2.0f);
    EXPECT_EQ(e.hold->longEventName, "EV_L");
    EXPECT_EQ(e.hold->longFixedData, -2);

    // A nested hold form gives its own short event as the long press.
    const auto& f = Actions("F", CommandKey::Once).at(0);
    EXPECT_EQ(f.eventName, "EV_A");
    EXPECT_FLOAT_EQ(f.hold->holdTime, 1.0f);
    EXPECT_EQ(f.hold->longEventName, "EV_B");
    // ...and a bad hold time at any depth rejects the entry.
    EXPECT_TRUE(Actions("G", CommandKey::Once).empty());

    const auto& h = Actions("H", CommandKey::Once).at(0);
    ASSERT_TRUE(h.keyCondition);
    EXPECT_EQ(h.keyCondition->variableName, "V");
    EXPECT_EQ(h.hold->longEventName, "EV_L");
}

TEST_F(CommandMapTest, VeryDeepHoldChainLoadsWithoutExhaustingTheStack) {
    std::string value;
    for (int i = 0; i < 100000; ++i)
        value += "1^a^";
    value += "LAST";
    LoadText("[HW#CN1]\nDEEP = " + value + "\nNEXT = EV_NEXT\n");
    ASSERT_TRUE(loaded);
    const auto& deep = Actions("DEEP", CommandKey::Once).at(0);
    EXPECT_EQ(deep.eventName, "#a");
    EXPECT_EQ(deep.hold->longEventName, "#a");
    EXPECT_EQ(Actions("NEXT", CommandKey::Once).at(0).eventName, "EV_NEXT");
}

TEST_F(CommandMapTest, IndicatorEntriesAndInvalidEntries) {
    const std::string path = LoadText("[HW#PFD]\n"
                                      "<3 = LIGHT_A|bool#1\n"
                                      "<1 = LIGHT_B|bool\n"
                                      "<x = LIGHT_C|bool#1\n"
                                      "<2 = NOVAR\n"
                                      "{name} = GEAR|percent#100\n"
                                      "<4 = A#7|U\n"
                                      "<5 = |U#2\n"
                                      "<6 = V|U#\n"
                                      "KEY =\n"
                                      "SKIP = UNAVAILABLE\n"
                                      "<7 = UNAVAILABLE\n");
    ASSERT_TRUE(loaded);
    const auto& leds = map.Indicators("HW", "PFD");
    ASSERT_EQ(leds.size(), 6u);
    EXPECT_EQ(leds[0].variableName, "LIGHT_A");
    EXPECT_EQ(leds[0].compareValue, 1);
    EXPECT_EQ(leds[0].kind, IndicatorEntry::Led);
    EXPECT_EQ(leds[1].variableName, "LIGHT_B");
    EXPECT_EQ(leds[1].unit, "bool");
    EXPECT_EQ(leds[1].compareValue, 0);
    EXPECT_EQ(leds[2].variableName, "");
    EXPECT_EQ(leds[2].unit, "");
    EXPECT_EQ(leds[3].kind, IndicatorEntry::Named);
    EXPECT_EQ(leds[3].variableName, "GEAR");
    EXPECT_EQ(leds[3].compareValue, 100);
    EXPECT_EQ(leds[4].variableName, "A#7");
    EXPECT_EQ(leds[4].unit, "U");
    EXPECT_EQ(leds[4].compareValue, 7);
    EXPECT_EQ(leds[5].variableName, "");
    EXPECT_EQ(leds[5].compareValue, 2);
    EXPECT_TRUE(map.Commands("HW", "PFD").empty());

    const auto invalid = [&](const std::string& key) {
        return log.Contains(BKFLog::LevelInfo, path + ": entry for " + key + " is invalid");
    };
    EXPECT_TRUE(invalid("<x"));
    EXPECT_TRUE(invalid("<6"));
    EXPECT_TRUE(invalid("KEY"));
    EXPECT_FALSE(invalid("SKIP"));
    EXPECT_FALSE(invalid("<7"));
    EXPECT_TRUE(
        log.Contains(BKFLog::LevelTrace, "CommandMapping: HW#PFD: 3 <== LIGHT_A (bool) == 1"));
    EXPECT_TRUE(
        log.Contains(BKFLog::LevelTrace, "CommandMapping: HW#PFD: {name} <== GEAR|percent#100"));
}

TEST_F(CommandMapTest, UnparsableKeyConditionIsLoggedAndDropped) {
    LoadText("[HW#CN1]\n"
             "BTN@NOBAR#1 = EV_ONE\n"
             "HOLD@NOBAR#1 = 1^EV_S^EV_L\n"
             "BAD@V|U#x = EV_TWO\n");
    const auto& btn = Actions("BTN", CommandKey::Once);
    ASSERT_EQ(btn.size(), 1u);
    EXPECT_FALSE(btn[0].keyCondition);
    const auto errors = log.LinesAt(BKFLog::LevelError);
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0], "Unable to parse Conditional: \"BTN@NOBAR#1\"");
    EXPECT_EQ(errors[1], "Unable to parse Conditional: \"HOLD@NOBAR#1\"");
    EXPECT_EQ(errors[2], errors[1]);
    // A condition whose value does not convert rejects the entry.
    EXPECT_TRUE(Actions("BAD", CommandKey::Once).empty());
}

TEST_F(CommandMapTest, LaterFilesReplaceWholeSectionsAndBrokenFilesChangeNothing) {
    LoadText("[metadata]\nversion = 1.2\ndescription = Base map\n"
             "[HW#CN1]\nA = EV_A\nB = EV_B\n"
             "[HW#CN2]\nC = EV_C\n"
             "[OTHER#PFD]\nD = EV_D\n",
             "base.ini");
    ASSERT_TRUE(loaded);

    LoadText("[HW#CN1]\nB = EV_B2\n[HW#CN2]\n[OTHER#PFD]\n", "second.ini");
    ASSERT_TRUE(loaded);
    EXPECT_EQ(map.Commands("HW", "CN1").size(), 1u);
    EXPECT_EQ(Actions("B", CommandKey::Once).at(0).eventName, "EV_B2");
    EXPECT_EQ(Actions("C", CommandKey::Once, "HW#CN2").at(0).eventName, "EV_C");
    EXPECT_EQ(Actions("D", CommandKey::Once, "OTHER#PFD").at(0).eventName, "EV_D");

    log.ClearLines();
    LoadText("[HW#CN1]\nX = EV_X\n[HW#CN2]\nY = EV_Y\nbroken line\n", "broken.ini");
    EXPECT_FALSE(loaded);
    EXPECT_EQ(Actions("B", CommandKey::Once).at(0).eventName, "EV_B2");
    EXPECT_EQ(log.Lines().back().second,
              "CommandMapping: Error parsing command map: :5: '=' character not found in line");

    // A top-level key naming a section empties it.
    LoadText("OTHER#PFD = x\n[unrelated]\nk = v\n", "top.ini");
    EXPECT_TRUE(loaded);
    EXPECT_TRUE(map.Commands("OTHER", "PFD").empty());

    // An empty function is reported and the earlier section stays.
    log.ClearLines();
    const std::string path = LoadText("[HW#]\nA = EV_NEW\n[#CN1]\nZ = EV_Z\n", "empty.ini");
    EXPECT_TRUE(log.Contains(BKFLog::LevelInfo, "Command Map Error: " + path +
                                                    ": Section HW# has an empty device ID"));
    EXPECT_EQ(Actions("Z", CommandKey::Once, "#CN1").at(0).eventName, "EV_Z");
    EXPECT_THROW(map.Commands("HW", ""), no_command_mapped_err);

    ASSERT_EQ(map.LoadedMaps().size(), 4u);
    EXPECT_EQ(map.LoadedMaps().front().version, "1.2");
    EXPECT_EQ(map.LoadedMaps().front().description, "Base map");
    EXPECT_EQ(map.LoadedMaps().back().version, "Unknown");

    try {
        map.Indicators("NOPE", "CN9");
        FAIL() << "no exception";
    } catch (const no_command_mapped_err& e) {
        EXPECT_EQ(e.hardware, "NOPE");
        EXPECT_EQ(e.function, "CN9");
        EXPECT_STREQ(e.what(), "no command map for this hardware pair");
    }

    map.Clear();
    EXPECT_TRUE(map.LoadedMaps().empty());
    EXPECT_THROW(map.Commands("HW", "CN1"), no_command_mapped_err);
}

TEST_F(CommandMapTest, LoadLogLinesAndFileLevelErrors) {
    EXPECT_FALSE(map.Load(L""));
    EXPECT_TRUE(log.Lines().empty());

    const std::string path = LoadText("[metadata]\nversion = 7\n[HW#CN1]\nA = B\n");
    const std::vector<std::pair<int, std::string>> expected = {
        {BKFLog::LevelInfo, "Attempting to load CommandMap " + path},
        {BKFLog::LevelInfo, "CommandMapping: loaded " + path},
        {BKFLog::LevelInfo, "CommandMapping: Loaded " + path + ": Version 7"},
        {BKFLog::LevelTrace, "CommandMapping: loading completed"},
    };
    EXPECT_EQ(log.Lines(), expected);

    log.ClearLines();
    const std::wstring missing = folder.Path("missing.ini").wstring();
    EXPECT_FALSE(map.Load(missing));
    ASSERT_EQ(log.Lines().size(), 2u);
    EXPECT_EQ(log.Lines()[1].second.rfind(
                  "Unable to open " + folder.Path("missing.ini").u8string() + ": ", 0),
              0u);

    log.ClearLines();
    LoadText("\xEF\xBB\xBF[HW#CN2]\nA = B\n", "bom.ini");
    EXPECT_FALSE(loaded);
    EXPECT_EQ(log.Lines().back().second,
              "CommandMapping: Error parsing command map: :1: '=' character not found in line");

    const std::vector<std::pair<std::string, std::string>> broken = {
        {"[A#B]\n= x\n", ":2: key expected"},
        {"[A#B]\nk=v\n[A#B]\nk=w\n", ":3: duplicate section name"},
        {"[A#B]\nk=v\nk=w\n", ":3: duplicate key name"},
        {"\n\n[A#B\n", ":3: unmatched '['"},
    };
    for (const auto& item : broken) {
        LoadText(item.first, "broken.ini");
        EXPECT_FALSE(loaded);
        EXPECT_EQ(log.Lines().back().second,
                  "CommandMapping: Error parsing command map: " + item.second);
    }
    EXPECT_THROW(map.Commands("", "CN2"), no_command_mapped_err);
    EXPECT_THROW(map.Commands("A", "B"), no_command_mapped_err);

    log.ClearLines();
    map.DumpInfo();
    const std::vector<std::pair<int, std::string>> dump = {
        {BKFLog::LevelInfo, "CM Info:"},
        {BKFLog::LevelInfo, "- " + path + " 7 ()"},
        {BKFLog::LevelInfo, "---"},
        {BKFLog::LevelInfo, "Devices Mapped:"},
        {BKFLog::LevelInfo, "- Dev: HW (CN1)"},
        {BKFLog::LevelInfo, "---"},
    };
    EXPECT_EQ(log.Lines(), dump);
}

TEST(StringHelpersTest, NumberTrimAndSplitRules) {
    EXPECT_TRUE(IsNumber("65536", 10));
    EXPECT_TRUE(IsNumber(" 12", 10));
    EXPECT_TRUE(IsNumber("0x1F", 16));
    EXPECT_TRUE(IsNumber("ADD", 16));
    EXPECT_FALSE(IsNumber("ADD", 10));
    EXPECT_FALSE(IsNumber("", 10));
    EXPECT_FALSE(IsNumber("12 ", 10));
    EXPECT_FALSE(IsNumber("0x", 16));
    EXPECT_FALSE(IsNumber("99999999999999999999999", 10));

    EXPECT_EQ(Trim("  a b  "), "a b");
    EXPECT_EQ(Trim("\ta\t"), "\ta\t");
    EXPECT_THROW(Trim("   "), std::out_of_range);
    EXPECT_THROW(Trim(""), std::out_of_range);

    EXPECT_EQ(SplitAny("^^a^^b^c^d", 3, "^"), (std::vector<std::string>{"a", "b", "c^d"}));
    EXPECT_EQ(SplitAny(",a,,b,", 0, ","), (std::vector<std::string>{"a", "b"}));
}

TEST(CommandKeyTest, OrderEqualityAndHash) {
    const CommandKey a{"A", CommandKey::Once};
    const CommandKey aPress{"A", CommandKey::Press};
    const CommandKey b{"B", CommandKey::Press};
    EXPECT_TRUE(aPress < a);
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(a == aPress);
    EXPECT_EQ(CommandKeyHash()(a), CommandKeyHash()(CommandKey{"A", CommandKey::Once}));
    EXPECT_NE(CommandKeyHash()(a), CommandKeyHash()(aPress));
}

} // namespace
