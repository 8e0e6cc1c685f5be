// The bytes of every power-hub kind, written out as the hubs expect them.
#include <gtest/gtest.h>

#include <vector>

#include "power/hub_frames.h"

using namespace tb;

namespace {

using Bytes = std::vector<uint8_t>;

TEST(HubFramesKind0, SwitchSelectsThenSwitchesAndStateReadsOneByte) {
    auto off = kind0_switch_requests(false);
    ASSERT_EQ(off.size(), 2u);
    EXPECT_EQ(off[0].code, 0x2220B4u);
    EXPECT_EQ(off[0].input, uint8_t{1});
    EXPECT_EQ(off[1].code, 0x2220BCu);
    EXPECT_EQ(off[1].input, uint8_t{0});
    EXPECT_EQ(off[1].output_bytes, 0u);
    auto on = kind0_switch_requests(true);
    ASSERT_EQ(on.size(), 2u);
    EXPECT_EQ(on[0].code, 0x2220B4u);
    EXPECT_EQ(on[1].code, 0x2220BCu);
    EXPECT_EQ(on[1].input, uint8_t{1});
    auto state = kind0_state_requests();
    ASSERT_EQ(state.size(), 2u);
    EXPECT_EQ(state[0].code, 0x2220B4u);
    EXPECT_EQ(state[0].input, uint8_t{1});
    EXPECT_EQ(state[1].code, 0x2220C4u);
    EXPECT_FALSE(state[1].input.has_value());
    EXPECT_EQ(state[1].output_bytes, 1u);
}

TEST(HubFramesKind0, LineFramingIsTheCodeLittleEndianThenTheByte) {
    EXPECT_EQ(kind0_line_frame(kind0_switch_requests(false)[0]), (Bytes{0xB4, 0x20, 0x22, 0x00, 0x01}));
    EXPECT_EQ(kind0_line_frame(kind0_switch_requests(false)[1]), (Bytes{0xBC, 0x20, 0x22, 0x00, 0x00}));
    EXPECT_EQ(kind0_line_frame(kind0_switch_requests(true)[1]), (Bytes{0xBC, 0x20, 0x22, 0x00, 0x01}));
    EXPECT_EQ(kind0_line_frame(kind0_state_requests()[1]), (Bytes{0xC4, 0x20, 0x22, 0x00, 0x00}));
}

TEST(HubFramesKind2, OnePortFramesCarryThePortAndTheSwitchByte) {
    EXPECT_EQ(kind2_switch_frame(3, false), (Bytes{0xAE, 0x20, 0xCF, 0x28, 0x02, 0x03, 0x00, 0xAC}));
    EXPECT_EQ(kind2_switch_frame(3, true), (Bytes{0xAE, 0x20, 0xCF, 0x28, 0x02, 0x03, 0x01, 0xAC}));
    EXPECT_EQ(kind2_switch_frame(0xFE, true), (Bytes{0xAE, 0x20, 0xCF, 0x28, 0x02, 0xFE, 0x01, 0xAC}));
}

TEST(HubFramesKind2, PortZeroSwitchesEveryPortWithTheLongFrame) {
    EXPECT_EQ(kind2_switch_frame(0, false), (Bytes{0xAE, 0x20, 0xCF, 0x29, 0x03, 0xFF, 0x00, 0x00, 0xAC}));
    EXPECT_EQ(kind2_switch_frame(0, true), (Bytes{0xAE, 0x20, 0xCF, 0x29, 0x03, 0xFF, 0xFF, 0x00, 0xAC}));
}

TEST(HubFramesKind2, StateQueryAsksPortOneForPortZeroAndReadsTheFifthByte) {
    EXPECT_EQ(kind2_state_query(0), (Bytes{0xAE, 0x00, 0xCF, 0x2B, 0x01, 0x01, 0xAC}));
    EXPECT_EQ(kind2_state_query(1), (Bytes{0xAE, 0x00, 0xCF, 0x2B, 0x01, 0x01, 0xAC}));
    EXPECT_EQ(kind2_state_query(7), (Bytes{0xAE, 0x00, 0xCF, 0x2B, 0x01, 0x07, 0xAC}));
    const Bytes reply{0xAE, 0x01, 0xCF, 0x2B, 0x5A, 0xAC};
    EXPECT_EQ(kind2_state_from_reply(reply), uint8_t{0x5A});
    const Bytes longer{0xAE, 0x01, 0xCF, 0x2B, 0x00, 0xAC, 0x99};
    EXPECT_EQ(kind2_state_from_reply(longer), uint8_t{0x00});
    const Bytes short_reply{0xAE, 0x01, 0xCF, 0x2B, 0x5A};
    EXPECT_FALSE(kind2_state_from_reply(short_reply).has_value());
    EXPECT_FALSE(kind2_state_from_reply({}).has_value());
}

TEST(HubFramesKind3, TextCommandsNameThePortLessOne) {
    auto off = kind3_switch_frames(1, false);
    ASSERT_EQ(off.size(), 1u);
    EXPECT_EQ(off[0], (Bytes{'c', ' ', '0', '\r'}));
    auto on = kind3_switch_frames(4, true);
    ASSERT_EQ(on.size(), 1u);
    EXPECT_EQ(on[0], (Bytes{'o', ' ', '3', '\r'}));
    EXPECT_EQ(kind3_switch_frames(10, true).at(0), (Bytes{'o', ' ', '9', '\r'}));
    EXPECT_TRUE(kind3_switch_frames(11, true).empty()) << "no digit for port 11";
}

TEST(HubFramesKind3, PortZeroSendsDigitsZeroToFive) {
    for (bool on : {false, true}) {
        auto frames = kind3_switch_frames(0, on);
        ASSERT_EQ(frames.size(), 6u);
        for (uint8_t d = 0; d < 6; ++d)
            EXPECT_EQ(frames[d], (Bytes{static_cast<uint8_t>(on ? 'o' : 'c'), ' ', static_cast<uint8_t>('0' + d), '\r'}));
    }
}

TEST(HubFramesKind5, FourByteFrames) {
    EXPECT_EQ(kind5_switch_frame(false), (Bytes{0xA0, 0x01, 0x01, 0xA2}));
    EXPECT_EQ(kind5_switch_frame(true), (Bytes{0xA0, 0x01, 0x00, 0xA1}));
}

TEST(HubFramesKinds, OnlyTheKindsOfTheHubTableAreKnown) {
    for (int k : {0, 2, 3, 4, 5}) EXPECT_TRUE(known_hub_kind(k)) << k;
    for (int k : {-1, 1, 6, 65535}) EXPECT_FALSE(known_hub_kind(k)) << k;
}

}  // namespace
