#include "mapping/DeviceModels.h"

#include <gtest/gtest.h>

namespace {

TEST(DeviceModelsTest, IdentityTableFamiliesAndFunctions) {
    EXPECT_EQ(ModelFromIdentity("Brackenfold-Wayfinder4"), 1);
    EXPECT_EQ(ModelFromIdentity("Brackenfold-Touchnav7"), 4);
    EXPECT_EQ(ModelFromIdentity("Brackenfold-PanoramaPFD2"), 5);
    EXPECT_EQ(ModelFromIdentity("Brackenfold-PanoramaXFD1"), 5);
    EXPECT_EQ(ModelFromIdentity("Brackenfold-PanoramaMFD1"), 5);
    EXPECT_EQ(ModelFromIdentity("Brackenfold-PanoramaMFD15"), 8);
    EXPECT_EQ(ModelFromIdentity("Brackenfold-MinidialHSD"), 7);
    EXPECT_EQ(ModelFromIdentity("Brackenfold-Vistapanel"), 6);
    EXPECT_EQ(ModelFromIdentity("Brackenfold-Ridgeline-Yoke"), 10);
    EXPECT_EQ(ModelFromIdentity("Brackenfold-Horizon5"), 9);
    EXPECT_EQ(ModelFromIdentity("Brackenfold-Standby"), 16);
    EXPECT_EQ(ModelFromIdentity("brackenfold-wayfinder4"), 17);
    EXPECT_EQ(ModelFromIdentity(""), 17);
    EXPECT_EQ(ModelFromIdentity("Brackenfold-Wayfinder4 "), 17);

    EXPECT_EQ(FamilyIdentity(5), "Brackenfold-PanoramaXFD");
    EXPECT_EQ(FamilyIdentity(8), "Brackenfold-PanoramaXFD");
    EXPECT_EQ(FamilyIdentity(2), "Brackenfold-WayfinderX");
    EXPECT_EQ(FamilyIdentity(3), "Brackenfold-TouchnavX");
    EXPECT_EQ(FamilyIdentity(6), "");
    EXPECT_EQ(FamilyIdentity(17), "");

    EXPECT_EQ(AllowedFunctions(8), (std::set<int>{4}));
    EXPECT_EQ(AllowedFunctions(6), (std::set<int>{3, 4, 8}));
    EXPECT_EQ(AllowedFunctions(7), (std::set<int>{3, 5}));
    EXPECT_EQ(AllowedFunctions(9), (std::set<int>{6, 7}));
    EXPECT_EQ(AllowedFunctions(4), (std::set<int>{1, 2}));
    EXPECT_TRUE(AllowedFunctions(10).empty());
    EXPECT_TRUE(AllowedFunctions(-1).empty());
    EXPECT_EQ(&AllowedFunctions(5), &AllowedFunctions(6));
}

TEST(DeviceModelsTest, InterchangeableModels) {
    EXPECT_TRUE(ModelsInterchangeable(1, 4));
    EXPECT_TRUE(ModelsInterchangeable(8, 6));
    EXPECT_FALSE(ModelsInterchangeable(5, 9));
    EXPECT_FALSE(ModelsInterchangeable(7, 9));
    EXPECT_TRUE(ModelsInterchangeable(10, 10));
    EXPECT_TRUE(ModelsInterchangeable(17, 17));
    EXPECT_FALSE(ModelsInterchangeable(17, 1));
    EXPECT_FALSE(ModelsInterchangeable(1, 5));
}

} // namespace
