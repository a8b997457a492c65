// The LOAD block framing from the monitor's side.
#include <gtest/gtest.h>

#include <string>

#include "load_receiver.h"

namespace vivaz {
namespace {

using Event = LoadReceiver::Event;

// Feeds `bytes`; returns the events other than None, in order.
std::vector<Event> feed(LoadReceiver& r, const std::string& bytes) {
    std::vector<Event> events;
    for (char c : bytes) {
        const auto e = r.feed(static_cast<std::uint8_t>(c));
        if (e != Event::None) {
            events.push_back(e);
        }
    }
    return events;
}

std::string block(const std::string& data) {
    std::string b;
    b.push_back(static_cast<char>(data.size() >> 8));
    b.push_back(static_cast<char>(data.size() & 0xFF));
    return b + data + std::string(2, '\0');
}

TEST(LoadReceiver, TwoBlocksOf1024And1) {
    SparseMemory memory;
    LoadReceiver r(memory, 0x20000, 1025);
    std::string data(1025, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7);
    ASSERT_TRUE(r.blockDue());
    r.requestSent();
    EXPECT_EQ(feed(r, block(data.substr(0, 1024))), std::vector<Event>{Event::BlockComplete});
    EXPECT_EQ(block(data.substr(1024)).substr(0, 2), std::string("\x00\x01", 2));
    ASSERT_TRUE(r.blockDue());
    r.requestSent();
    EXPECT_EQ(feed(r, block(data.substr(1024))), std::vector<Event>{Event::BlockComplete});
    EXPECT_FALSE(r.blockDue());
    EXPECT_EQ(feed(r, std::string(2, '\0')), std::vector<Event>{Event::EndOfData});
    EXPECT_TRUE(r.finished());
    EXPECT_EQ(r.blocks(), 2);
    const auto stored = memory.read(0x20000, 1025);
    EXPECT_EQ(std::string(stored.begin(), stored.end()), data);
}

TEST(LoadReceiver, ZeroCountTakesOnlyTheClosingZeros) {
    SparseMemory memory;
    LoadReceiver r(memory, 0x1000, 0);
    EXPECT_FALSE(r.blockDue());
    EXPECT_EQ(feed(r, std::string(2, '\0')), std::vector<Event>{Event::EndOfData});
    EXPECT_EQ(memory.writtenBytes(), 0u);
}

struct FramingCase {
    std::uint32_t count;
    std::string bytes;
    std::string error;
};

void PrintTo(const FramingCase& c, std::ostream* os) {
    *os << c.error;
}

class LoadFraming : public ::testing::TestWithParam<FramingCase> {};

TEST_P(LoadFraming, ReportsTheHostsMistake) {
    SparseMemory memory;
    LoadReceiver r(memory, 0, GetParam().count);
    r.requestSent();
    const auto events = feed(r, GetParam().bytes);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), Event::Error);
    EXPECT_EQ(r.error(), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    LoadReceiver, LoadFraming,
    ::testing::Values(FramingCase{2000, std::string("\x04\x01", 2),
                                  "block 1: length 1025 is over 1024"},
                      FramingCase{3, std::string("\x00\x04", 2),
                                  "block 1: length 4 overruns the count (3 bytes left)"},
                      FramingCase{3, std::string("\x00\x00", 2), "data ended after 0 of 3 bytes"},
                      FramingCase{1, std::string("\x00\x01\x41\x00\x01", 5),
                                  "block 1: trailer byte 01, expected 00"},
                      FramingCase{1, std::string("\x00\x01\x41\x00\x00\x00\x07", 7),
                                  "byte 07 after the last block, expected 00 00"}));

TEST(LoadReceiver, BlockBytesBeforeTheRequestAreAnError) {
    SparseMemory memory;
    LoadReceiver r(memory, 0, 10);
    EXPECT_EQ(r.feed(0x00), Event::Error);
    EXPECT_EQ(r.error(), "block 1: byte 00 before the block request");
}

TEST(LoadReceiver, SecondBlockNeedsItsOwnRequest) {
    SparseMemory memory;
    LoadReceiver r(memory, 0, 4);
    r.requestSent();
    EXPECT_EQ(feed(r, block("ab")), std::vector<Event>{Event::BlockComplete});
    EXPECT_EQ(r.feed(0x00), Event::Error);
    EXPECT_EQ(r.error(), "block 2: byte 00 before the block request");
}

}  // namespace
}  // namespace vivaz
