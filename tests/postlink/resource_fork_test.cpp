// Finding CODE 0, CODE 1 and DATA 0 in the resource fork.

#include <gtest/gtest.h>

#include "bin_writer.h"
#include "postlink/resource_fork.h"
#include "test_support.h"

namespace tarvoline::postlink::testkit {
namespace {

constexpr std::uint32_t kCode = 0x434F4445;
constexpr std::uint32_t kData = 0x44415441;

TEST(ResourceFork, FindsEachResourceByTypeAndNumber) {
    const Bytes file = WriteResourceFork({
        {kData, {{0, {1, 2, 3}}}},
        {kCode, {{1, {4, 5}}, {0, {6}}}},
    });
    const ResourceLookup code1 = FindResource(file, kCodeType, 1);
    ASSERT_EQ(code1.status, LookupStatus::kFound);
    EXPECT_EQ(Bytes(code1.data.begin(), code1.data.end()), (Bytes{4, 5}));
    const ResourceLookup code0 = FindResource(file, kCodeType, 0);
    ASSERT_EQ(code0.status, LookupStatus::kFound);
    EXPECT_EQ(Bytes(code0.data.begin(), code0.data.end()), (Bytes{6}));
    EXPECT_EQ(FindResource(file, kDataType, 0).data.size(), 3u);
    EXPECT_EQ(FindResource(file, kDataType, 1).status, LookupStatus::kMissing);
}

TEST(ResourceFork, OnlyTheFirstEntryOfATypeIsSearched) {
    const Bytes file = WriteResourceFork({
        {kCode, {{0, {1}}}},
        {kCode, {{1, {2}}}},
    });
    EXPECT_EQ(FindResource(file, kCodeType, 0).status, LookupStatus::kFound);
    EXPECT_EQ(FindResource(file, kCodeType, 1).status, LookupStatus::kMissing);
}

TEST(ResourceFork, TypeWithNoResourcesFindsNothing) {
    // A resource count field of 0xFFFF is "none", not 65536 entries.
    const Bytes file = WriteResourceFork({{kCode, {}}, {kData, {{0, {1}}}}});
    EXPECT_EQ(FindResource(file, kCodeType, 0).status, LookupStatus::kMissing);
    EXPECT_EQ(FindResource(file, kDataType, 0).status, LookupStatus::kFound);
}

TEST(ResourceFork, EmptyTypeListFindsNothing) {
    const Bytes file = WriteResourceFork({});
    EXPECT_EQ(FindResource(file, kCodeType, 0).status, LookupStatus::kMissing);
}

TEST(ResourceFork, EmptyResourceHasNoBytes) {
    const Bytes file = WriteResourceFork({{kData, {{0, {}}}}});
    const ResourceLookup data0 = FindResource(file, kDataType, 0);
    EXPECT_EQ(data0.status, LookupStatus::kFound);
    EXPECT_TRUE(data0.data.empty());
}

TEST(ResourceFork, MissingResourcesGiveThree) {
    Program program;
    const Bytes code0 = MakeCode0(program.aboveA5, program.belowA5);
    const Bytes code1 = MakeCode1(program);
    const Bytes& data0 = program.data0;
    EXPECT_EQ(
        BuildLoadImageFromBin(WriteResourceFork({{kCode, {{1, code1}}}, {kData, {{0, data0}}}}), 1)
            .result,
        3);
    EXPECT_EQ(
        BuildLoadImageFromBin(WriteResourceFork({{kCode, {{0, code0}}}, {kData, {{0, data0}}}}), 1)
            .result,
        3);
    EXPECT_EQ(
        BuildLoadImageFromBin(WriteResourceFork({{kCode, {{0, code0}, {1, code1}}}}), 1).result, 3);
    EXPECT_EQ(BuildLoadImageFromBin(
                  WriteResourceFork({{kCode, {{0, code0}, {1, code1}}}, {kData, {{0, data0}}}}), 1)
                  .result,
              0);
}

TEST(ResourceFork, MissingDataComesAfterTheConfigurationSearch) {
    Program program;
    const Bytes file = WriteResourceFork(
        {{kCode, {{0, MakeCode0(program.aboveA5, program.belowA5)}, {1, MakeCode1(program)}}}});
    EXPECT_EQ(BuildLoadImageFromBin(file, 2).result, 5);
    EXPECT_EQ(BuildLoadImageFromBin(file, 1).result, 3);
}

}  // namespace
}  // namespace tarvoline::postlink::testkit
