#include "TestSupport.h"

#include "mapping/CommandMap.h"
#include "mapping/DeviceMappingConfig.h"
#include "mapping/MappingErrors.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// Malformed files of several shapes, reproducible from one seed.
class MalformedFiles {
public:
    explicit MalformedFiles(unsigned seed) : random_(seed) {}

    std::string Next(const std::string& validSample) {
        switch (Pick(6)) {
        case 0:
            return RandomBytes(Pick(400));
        case 1:
            return Mutate(validSample, "[]=#@^|+-<{},;\n \t\r\x1a\xef\xbb\xbf");
        case 2:
            return Truncate(validSample);
        case 3:
            return "[HW#CN1]\nK" + std::to_string(Pick(9)) + " = " +
                   Repeat(Choose({"[", "^", "@", "#", "1^a^", "+=", "[,", "|#"}),
                          20000 + Pick(20000)) +
                   "\n";
        case 4:
            return "[HW#CN1]\n" + Repeat(Choose({"@", "#", "|", "<", "{"}), 5000) + " = " +
                   Repeat(Choose({"1^", "a#", "x|", "[]"}), 5000) + "\n";
        default:
            return "[0]\nPort=" + Repeat("P", Pick(70000)) +
                   "\nModel=M\nFunction=" + Repeat("9", Pick(30)) + "\n";
        }
    }

    size_t Pick(size_t count) {
        return std::uniform_int_distribution<size_t>(0, count - 1)(random_);
    }

private:
    std::string RandomBytes(size_t length) {
        std::string bytes;
        for (size_t i = 0; i < length; ++i)
            bytes.push_back(static_cast<char>(Pick(256)));
        return bytes;
    }

    std::string Mutate(std::string text, const std::string& alphabet) {
        const size_t edits = 1 + Pick(8);
        for (size_t i = 0; i < edits; ++i) {
            const size_t at = Pick(text.size() + 1);
            const char c = alphabet[Pick(alphabet.size())];
            if (Pick(2) == 0 && at < text.size())
                text[at] = c;
            else
                text.insert(at, 1, c);
        }
        return text;
    }

    std::string Truncate(const std::string& text) { return text.substr(0, Pick(text.size() + 1)); }

    std::string Repeat(const std::string& piece, size_t count) {
        std::string text;
        text.reserve(piece.size() * count);
        for (size_t i = 0; i < count; ++i)
            text += piece;
        return text;
    }

    std::string Choose(std::initializer_list<const char*> pieces) {
        return *(pieces.begin() + Pick(pieces.size()));
    }

    std::mt19937 random_;
};

const char kCommandMapSample[] = "[metadata]\nversion=3\ndescription=sample\n"
                                 "[HW#CN1]\nBTN = EV_ONE\nBTN@VAR|UNIT#1+ = [EV_A,0.5^EV_S^EV_L]\n"
                                 "<1 = LIGHT|bool#1\n{name} = GEAR|percent\nENC_X = EV#+=5[2]\n"
                                 "[HW#PFD]\nA- = 1^B^2^C^D\n";

const char kDeviceMapSample[] = "[0]\nPort=COM3\nModel=M\nFunction=1\nId=42\n"
                                "[1]\nPort=COM4\nModel=N\nFunction=2\n"
                                "[RidgelineYoke]\nroll_state=1\npitch_state=3\n"
                                "[GlobalConfig]\nprobe_legacy=0\n";

TEST(RobustnessTest, CommandMapLoadSurvivesMalformedFiles) {
    LogCapture log;
    ScratchFolder folder;
    MalformedFiles files(20240611);
    CommandMap map;
    for (int i = 0; i < 2500; ++i) {
        const std::wstring path = folder.Write("map.ini", files.Next(kCommandMapSample));
        EXPECT_NO_THROW(map.Load(path)) << "file " << i;
        if (files.Pick(50) == 0)
            map.Clear();
        log.ClearLines();
    }
    // The map still works after all of that.
    map.Clear();
    EXPECT_TRUE(map.Load(folder.Write("good.ini", kCommandMapSample)));
    EXPECT_EQ(map.Commands("HW", "CN1").size(), 3u);
}

TEST(RobustnessTest, DeviceMapLoadThrowsOnlyMappingLoadErrorAndSavesWhatItRead) {
    LogCapture log;
    ScratchFolder folder;
    MalformedFiles files(1717);
    int roundTrips = 0;
    for (int i = 0; i < 2500; ++i) {
        const std::string text = files.Next(kDeviceMapSample);
        const std::wstring path = folder.Write("DeviceMapping.ini", text);
        DeviceMappingConfig config;
        bool loaded = false;
        try {
            config.Load(path);
            loaded = true;
        } catch (const MappingLoadError&) {
        } catch (const std::exception& e) {
            ADD_FAILURE() << "file " << i << " threw " << e.what();
        } catch (...) {
            ADD_FAILURE() << "file " << i << " threw a non-standard exception";
        }
        log.ClearLines();

        // Text without control bytes must survive a save and a reload unchanged.
        const bool printable = text.find_first_of(std::string("\x1a\0", 2)) == std::string::npos;
        if (!loaded || !printable)
            continue;
        config.Save(path);
        DeviceMappingConfig reloaded;
        ASSERT_NO_THROW(reloaded.Load(path)) << "file " << i;
        ASSERT_EQ(reloaded.mappings.size(), config.mappings.size()) << "file " << i;
        for (auto a = config.mappings.begin(), b = reloaded.mappings.begin();
             a != config.mappings.end(); ++a, ++b) {
            EXPECT_EQ((*a)->Port, (*b)->Port);
            EXPECT_EQ((*a)->Model, (*b)->Model);
            EXPECT_EQ((*a)->Function, (*b)->Function);
            EXPECT_EQ((*a)->Id, (*b)->Id);
        }
        EXPECT_EQ(reloaded.rollState, config.rollState);
        EXPECT_EQ(reloaded.pitchState, config.pitchState);
        EXPECT_EQ(reloaded.legacyProbing, config.legacyProbing);
        ++roundTrips;
    }
    EXPECT_GT(roundTrips, 100);
}

} // namespace
