// The telnet layer and the COM port option without sockets: IAC doubling, commands cut
// anywhere between two reads, the negotiation's answers, the line commands and the judging of
// the server's answers.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comm/LineTermios.h"
#include "comm/Rfc2217.h"
#include "comm/TelnetCodec.h"

namespace {

using telnet::Command;

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back(char(v));
    return s;
}

constexpr int IAC = 255, SB = 250, SE = 240, WILL = 251, WONT = 252, DO = 253, DONT = 254;

TEST(TelnetCodec, DataRoundTripsWithEveryByteValueAcrossEverySplit) {
    std::string data;
    for (int i = 0; i < 256; ++i) data.push_back(char(i));
    data += Bytes({IAC, IAC, IAC, 0, IAC});
    std::string wire;
    telnet::AppendEscaped(wire, data.data(), data.size());
    EXPECT_EQ(wire.size(), data.size() + 5);  // one extra byte per 0xFF

    // With a server's command in the middle, cut at every place.
    const std::string command = Bytes({IAC, SB, 44, 101, 0, 0, 0x25, 0x80, IAC, SE});
    wire.insert(100, command);
    for (std::size_t cut = 0; cut <= wire.size(); ++cut) {
        telnet::CDecoder decoder;
        std::string out;
        std::vector<Command> commands;
        decoder.Feed(wire.data(), cut, out, commands);
        decoder.Feed(wire.data() + cut, wire.size() - cut, out, commands);
        ASSERT_EQ(out, data) << "cut at " << cut;
        ASSERT_EQ(commands.size(), 1u) << "cut at " << cut;
        EXPECT_EQ(commands[0].verb, telnet::kSb);
        EXPECT_EQ(commands[0].option, 44);
        EXPECT_EQ(commands[0].payload, Bytes({101, 0, 0, 0x25, 0x80}));
        EXPECT_FALSE(decoder.InsideCommand());
    }
}

TEST(TelnetCodec, VerbsLoneCommandsAndDoubledIacInsideASubnegotiation) {
    telnet::CDecoder decoder;
    std::string out;
    std::vector<Command> commands;
    const std::string wire = Bytes({'a', IAC, DO, 44, IAC, 241 /*NOP*/, 'b', IAC, SB, 44, 101, 0,
                                    0, IAC, IAC, IAC, IAC, IAC, SE, 'c', IAC});
    decoder.Feed(wire.data(), wire.size(), out, commands);
    EXPECT_EQ(out, "abc");
    EXPECT_TRUE(decoder.InsideCommand());  // the last IAC waits for its second half
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0].verb, DO);
    EXPECT_EQ(commands[0].option, 44);
    EXPECT_EQ(commands[1].verb, 241);
    EXPECT_EQ(commands[2].payload, Bytes({101, 0, 0, IAC, IAC}));
    const std::string rest = Bytes({IAC});
    decoder.Feed(rest.data(), rest.size(), out, commands);
    EXPECT_EQ(out, Bytes({'a', 'b', 'c', IAC}));
}

TEST(TelnetNegotiation, AsksOnceAndAnswersOnlyChangesOfState) {
    telnet::CNegotiation n;
    EXPECT_EQ(n.Start(), Bytes({IAC, WILL, 0, IAC, WILL, 3, IAC, WILL, 44, IAC, DO, 0, IAC, DO, 3}));
    EXPECT_EQ(n.Start(), "");  // already asked
    EXPECT_FALSE(n.LocalSettled(44));
    // Answers to our requests are not answered again.
    EXPECT_EQ(n.Answer({DO, 44, {}}), "");
    EXPECT_TRUE(n.LocalSettled(44));
    EXPECT_TRUE(n.Local(44));
    EXPECT_EQ(n.Answer({WILL, 0, {}}), "");
    EXPECT_TRUE(n.Remote(0));
    EXPECT_EQ(n.Answer({WILL, 0, {}}), "");  // a repeat changes nothing
    // The server's own requests: what this side runs is agreed, the rest refused.
    EXPECT_EQ(n.Answer({WILL, 1 /*ECHO*/, {}}), Bytes({IAC, DONT, 1}));
    EXPECT_EQ(n.Answer({DO, 24 /*TERMINAL-TYPE*/, {}}), Bytes({IAC, WONT, 24}));
    EXPECT_EQ(n.Answer({DO, 0, {}}), "");
    EXPECT_EQ(n.Answer({DONT, 0, {}}), Bytes({IAC, WONT, 0}));
    EXPECT_FALSE(n.Local(0));
    EXPECT_EQ(n.Answer({DO, 0, {}}), Bytes({IAC, WILL, 0}));
    EXPECT_TRUE(n.Local(0));
    // A refusal of a request settles it without an answer.
    telnet::CNegotiation refused;
    refused.Start();
    EXPECT_EQ(refused.Answer({DONT, 44, {}}), "");
    EXPECT_TRUE(refused.LocalSettled(44));
    EXPECT_FALSE(refused.Local(44));
}

TEST(Rfc2217Commands, LineSettingsInOrderAndOnlyWhatChanged) {
    termios tio{};
    MakeRawLine(tio);
    ASSERT_TRUE(ApplyBaud(tio, 230400));
    ASSERT_TRUE(ApplyLineFormat(tio, kParityNone, 8, kTwoStopBits));
    const rfc2217::LineSettings s = rfc2217::FromTermios(tio);
    EXPECT_EQ(s.baud, 230400u);
    EXPECT_EQ(s.stopSize, rfc2217::kStopTwo);
    EXPECT_EQ(s.parity, rfc2217::kParityNone);
    EXPECT_EQ(s.dataSize, 8);

    const std::string all = rfc2217::ChangeCommands(std::nullopt, s);
    EXPECT_EQ(all, Bytes({IAC, SB, 44, 1, 0x00, 0x03, 0x84, 0x00, IAC, SE,  // 230400
                          IAC, SB, 44, 2, 8, IAC, SE, IAC, SB, 44, 3, 1, IAC, SE,
                          IAC, SB, 44, 4, 2, IAC, SE, IAC, SB, 44, 5, 1, IAC, SE}));
    rfc2217::LineSettings faster = s;
    faster.baud = 0x0001FFFF;  // a value byte 0xFF is doubled inside the command too
    EXPECT_EQ(rfc2217::ChangeCommands(s, faster),
              Bytes({IAC, SB, 44, 1, 0x00, 0x01, IAC, IAC, IAC, IAC, IAC, SE}));
    EXPECT_EQ(rfc2217::ChangeCommands(s, s), "");
    EXPECT_EQ(rfc2217::SetByte(rfc2217::kSetControl, rfc2217::kBreakOn), Bytes({IAC, SB, 44, 5, 5, IAC, SE}));
}

TEST(Rfc2217Answers, ARefusedValueIsToldAndAnswersMatchTheirRequests) {
    rfc2217::CAnswerJudge judge;
    judge.Sent(rfc2217::kSetBaudRate, Bytes({0, 1, 0xC2, 0}));    // 115200
    judge.Sent(rfc2217::kSetControl, Bytes({rfc2217::kDtrOn}));   // never answered
    judge.Sent(rfc2217::kSetControl, Bytes({rfc2217::kNoFlowControl}));
    judge.Sent(rfc2217::kSetBaudRate, Bytes({0, 3, 0x84, 0}));    // 230400
    // The flow answer is matched with the flow request, not the DTR one before it.
    EXPECT_EQ(judge.Judge(Bytes({105, rfc2217::kNoFlowControl})), std::nullopt);
    EXPECT_EQ(judge.Judge(Bytes({101, 0, 1, 0xC2, 0})), std::nullopt);
    auto notice = judge.Judge(Bytes({101, 0, 1, 0xC2, 0}));
    ASSERT_TRUE(notice.has_value());
    EXPECT_EQ(*notice, "the server refused 230400 baud (it answered 115200 baud)");
    // The server's own reports (answers to nothing asked) are no refusal.
    EXPECT_EQ(judge.Judge(Bytes({101, 0, 0, 0x25, 0x80})), std::nullopt);
    EXPECT_EQ(judge.Judge(Bytes({106, 0x30})), std::nullopt);
}

}  // namespace
