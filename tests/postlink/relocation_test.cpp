// The relocation lists: every entry form, both groups and the three amounts.

#include <gtest/gtest.h>

#include "bin_writer.h"
#include "test_support.h"

namespace tarvoline::postlink::testkit {
namespace {

// Configuration 2 keeps the three amounts apart: A5 0x30040, code 0x20000, load 0x10000.
constexpr std::uint32_t kA5Amount = 0x30040;
constexpr std::uint32_t kCodeAmount = 0x20000;
constexpr std::uint32_t kLoadAmount = 0x10000;
constexpr std::int64_t kA5Position = 704;
constexpr std::size_t kZeroFrom = 480;  // code from here on is zeroed, and so is the A5 world
constexpr std::size_t kImageSize = 768;

Program RelocationProgram(const Data0Builder& groups) {
    Program program;
    Configuration configuration;
    configuration.configId = 2;
    configuration.loadAddress = kLoadAmount;
    configuration.codeAddress = kCodeAmount;
    configuration.dataAddress = 0x30000;
    program.configurations = {configuration};
    program.codePatches = {{kZeroFrom, Bytes(640 - kZeroFrom, 0)}};
    program.data0 = groups.Build();
    return program;
}

// The expected tail of the image, from kZeroFrom, after adding amounts at image offsets.
class Expected {
  public:
    Expected() : bytes_(kImageSize - kZeroFrom, 0) {}
    Expected& Add(std::int64_t imageOffset, std::uint32_t amount) {
        const std::size_t at = static_cast<std::size_t>(imageOffset) - kZeroFrom;
        PutBigEndian32(bytes_, at, WordAt(bytes_, at) + amount);
        return *this;
    }
    const Bytes& bytes() const { return bytes_; }

  private:
    Bytes bytes_;
};

void ExpectTail(const Data0Builder& groups, const Expected& expected) {
    const BuildResult built = BuildProgram(RelocationProgram(groups), 2);
    ASSERT_EQ(built.result, 0) << built.detail;
    EXPECT_EQ(ImageBytes(built, kZeroFrom, kImageSize - kZeroFrom), expected.bytes());
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

using D = Data0Builder;

TEST(Relocation, GroupOneCountsFromA5AndReachesBelowIt) {
    ExpectTail(D().NoData().List(1, D::Step(-4)).EmptyList().EmptyList().EmptyGroup(),
               Expected().Add(kA5Position - 8, kA5Amount));
}

TEST(Relocation, EachListAddsItsOwnAmount) {
    ExpectTail(D().NoData()
                   .List(1, D::Step(2))
                   .List(1, D::Step(4))
                   .List(1, D::Step(6))
                   .List(1, D::SetPosition(250))
                   .List(1, D::SetPosition(252))
                   .List(1, D::SetPosition(254)),
               Expected()
                   .Add(kA5Position + 4, kA5Amount)
                   .Add(kA5Position + 8, kCodeAmount)
                   .Add(kA5Position + 12, kLoadAmount)
                   .Add(500, kA5Amount)
                   .Add(504, kCodeAmount)
                   .Add(508, kLoadAmount));
}

TEST(Relocation, StepOfZeroRelocatesTheSameWordAgain) {
    ExpectTail(D().NoData().List(2, Cat({D::Step(8), {0x80}})).EmptyList().EmptyList().EmptyGroup(),
               Expected().Add(kA5Position + 16, kA5Amount).Add(kA5Position + 16, kA5Amount));
}

TEST(Relocation, StepFFMovesBackOneWord) {
    ExpectTail(D().NoData().List(2, Cat({D::Step(8), {0xFF}})).EmptyList().EmptyList().EmptyGroup(),
               Expected().Add(kA5Position + 16, kA5Amount).Add(kA5Position + 14, kA5Amount));
}

TEST(Relocation, OneByteStepsReachTheirLimits) {
    // 0xC0 is -64 words, 0xBF is +63 words.
    ExpectTail(D().NoData().List(2, {0xC0, 0xBF}).EmptyList().EmptyList().EmptyGroup(),
               Expected().Add(kA5Position - 128, kA5Amount).Add(kA5Position - 2, kA5Amount));
}

TEST(Relocation, TwoByteStepsGoBothWays) {
    ExpectTail(D().NoData()
                   .EmptyList()
                   .List(2, Cat({D::LongStep(-100), D::LongStep(30)}))
                   .EmptyList()
                   .EmptyGroup(),
               Expected().Add(kA5Position - 200, kCodeAmount).Add(kA5Position - 140, kCodeAmount));
}

TEST(Relocation, TwoByteStepsReachTheirLimits) {
    Program program =
        RelocationProgram(D().NoData()
                              .EmptyGroup()
                              .List(2, Cat({D::SetPosition(400), D::LongStep(8191)}))
                              .List(2, Cat({D::SetPosition(9000), D::LongStep(-8192)}))
                              .EmptyList());
    program.aboveA5 = 20000;
    const BuildResult built = BuildProgram(program, 2);
    ASSERT_EQ(built.result, 0) << built.detail;
    EXPECT_EQ(WordAt(ImageBytes(built, 800, 4), 0), kA5Amount);
    EXPECT_EQ(WordAt(ImageBytes(built, 800 + 16382, 4), 0), kA5Amount);
    EXPECT_EQ(WordAt(ImageBytes(built, 18000, 4), 0), kCodeAmount);
    EXPECT_EQ(WordAt(ImageBytes(built, 18000 - 16384, 4), 0), kCodeAmount);
}

TEST(Relocation, FourByteFormSetsThePositionAfterSteps) {
    ExpectTail(D().NoData().EmptyGroup().EmptyList().EmptyList().List(
                   3, Cat({D::Step(10), D::SetPosition(260), D::Step(1)})),
               Expected().Add(520, kLoadAmount).Add(522, kLoadAmount));
}

TEST(Relocation, EveryListStartsAtPositionZero) {
    ExpectTail(D().NoData()
                   .EmptyGroup()
                   .List(1, D::SetPosition(250))
                   .List(1, D::Step(0))
                   .List(1, D::SetPosition(250)),
               Expected().Add(500, kA5Amount).Add(500, kLoadAmount));
}

TEST(Relocation, ZeroOrNegativeCountsAreEmptyLists) {
    ExpectTail(D().NoData()
                   .List(0, {})
                   .List(-1, {})
                   .List(static_cast<std::int32_t>(0x80000000), {})
                   .List(-5, {})
                   .List(1, D::SetPosition(250))
                   .EmptyList(),
               Expected().Add(500, kCodeAmount));
}

TEST(Relocation, EntryAddressIsTheRelocatedWordAtCodeOffsetTen) {
    const BuildResult built = BuildProgram(
        RelocationProgram(D().NoData().EmptyGroup().EmptyList().List(1, D::Step(5)).EmptyList()),
        2);
    ASSERT_EQ(built.result, 0) << built.detail;
    EXPECT_EQ(built.image.header.entryAddress, 0x200u + kCodeAmount);
    EXPECT_EQ(WordAt(built.image.bytes.data(), 112), 0x200u + kCodeAmount);
}

TEST(Relocation, WordsWrapModulo32Bits) {
    Program program = RelocationProgram(D().NoData().EmptyGroup().EmptyGroup());
    program.codePatches.push_back({500, {0xFF, 0xFF, 0xFF, 0xF0}});
    program.data0 =
        D().NoData().EmptyGroup().List(1, D::SetPosition(250)).EmptyList().EmptyList().Build();
    const BuildResult built = BuildProgram(program, 2);
    ASSERT_EQ(built.result, 0) << built.detail;
    EXPECT_EQ(WordAt(ImageBytes(built, 500, 4), 0), 0xFFFFFFF0u + kA5Amount);
}

}  // namespace
}  // namespace tarvoline::postlink::testkit
