// The library's inner parts: checksums, the reading of its settings, and the
// record writers it shares with the real-camera library.
#include "raw_encoder.h"
#include "sha256.h"
#include "sim_config.h"
#include "vrx4k-common/records.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>
#include <string>

namespace {

using namespace vrx4ksim;

std::string Sha(const std::string &text)
{
    return Sha256Hex(reinterpret_cast<const uint8_t *>(text.data()), text.size());
}

TEST(Sha256, MatchesThePublishedTestVectors)
{
    EXPECT_EQ(Sha(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits in the first block.
    EXPECT_EQ(Sha("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    // 64 bytes: exactly one block of data and one of padding.
    EXPECT_EQ(Sha(std::string(64, 'a')), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
}

struct FakeEnvironment {
    std::map<std::string, std::string> values;
    EnvLookup Lookup() const
    {
        return [this](const char *name) -> const char * {
            auto it = values.find(name);
            return it == values.end() ? nullptr : it->second.c_str();
        };
    }
};

TEST(SimConfig, ReadsEverySetting)
{
    FakeEnvironment environment{{{"VRX4K_SIM_CAMERAS", "4"},
                                 {"VRX4K_SIM_SIZE", "1024X768"},
                                 {"VRX4K_SIM_FORMAT", "RAW+JPEG"},
                                 {"VRX4K_SIM_QUALITY", "75"},
                                 {"VRX4K_SIM_DELAY_MS", "0"},
                                 {"VRX4K_SIM_INTERVAL_MS", "250"},
                                 {"VRX4K_SIM_BUFFER", "5"},
                                 {"VRX4K_SIM_CARD_SHOTS", "0"},
                                 {"VRX4K_SIM_PHOTO_DIR", "/photos"},
                                 {"VRX4K_SIM_FAIL_OPEN", "3, 1"},
                                 {"VRX4K_SIM_FAIL_INIT", "no"},
                                 {"VRX4K_SIM_FAIL_DETECT", "on"},
                                 {"VRX4K_SIM_LOG", "/tmp/log"}}};
    std::string error;
    const auto config = ReadConfig(environment.Lookup(), error);
    ASSERT_TRUE(config) << error;
    EXPECT_EQ(config->cameraCount, 4);
    EXPECT_EQ(config->width, 1024u);
    EXPECT_EQ(config->height, 768u);
    EXPECT_EQ(config->format, ShotKind::RawPlusJpeg);
    EXPECT_EQ(config->quality, 75);
    EXPECT_EQ(config->delayMs, 0u);
    EXPECT_EQ(config->intervalMs, 250u);
    EXPECT_EQ(config->bufferShots, 5u);
    EXPECT_EQ(config->cardShots, 0u) << "an empty card is a setting, not the default";
    EXPECT_EQ(config->photoDir, "/photos");
    EXPECT_EQ(config->failOpen, (std::set<int>{1, 3}));
    EXPECT_FALSE(config->failInit);
    EXPECT_TRUE(config->failDetect);
    EXPECT_EQ(config->logPath, "/tmp/log");

    const auto defaults = ReadConfig(FakeEnvironment{}.Lookup(), error);
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults->cameraCount, 2);
    EXPECT_EQ(defaults->width, 6000u);
    EXPECT_EQ(defaults->height, 4000u);
    EXPECT_FALSE(defaults->cardShots);
    EXPECT_TRUE(defaults->script.empty());
}

TEST(SimConfig, ErrorsNameTheVariableAndItsValue)
{
    for (const auto &[name, value] : std::map<std::string, std::string>{{"VRX4K_SIM_QUALITY", "101"},
                                                                        {"VRX4K_SIM_BUFFER", "0"},
                                                                        {"VRX4K_SIM_SIZE", "640x"},
                                                                        {"VRX4K_SIM_SIZE", "15x15"},
                                                                        {"VRX4K_SIM_INTERVAL_MS", "1e3"},
                                                                        {"VRX4K_SIM_FAIL_INIT", "maybe"},
                                                                        {"VRX4K_SIM_SCRIPT", "jpeg,,raw"}}) {
        FakeEnvironment environment{{{name, value}}};
        std::string error;
        EXPECT_FALSE(ReadConfig(environment.Lookup(), error)) << name << "=" << value;
        EXPECT_NE(error.find(name), std::string::npos) << error;
    }
}

TEST(SimConfig, ScriptItemsAreReadInOrderWithSpacesAndCaseIgnored)
{
    std::string error;
    const auto script = ParseScript(" JPEG ,type-1,type5 , raw+jpeg,readFail", error);
    ASSERT_TRUE(script) << error;
    EXPECT_EQ(*script, (std::vector<ShotAction>{{ShotKind::Jpeg, 0},
                                                {ShotKind::TypeCode, -1},
                                                {ShotKind::TypeCode, 5},
                                                {ShotKind::RawPlusJpeg, 0},
                                                {ShotKind::ReadFail, 0}}));
    for (const ShotAction &action : *script) {
        const auto again = ParseScript(ShotKindName(action), error);
        ASSERT_TRUE(again) << ShotKindName(action);
        EXPECT_EQ(again->front(), action) << "the log's names read back as the same shot";
    }
    EXPECT_FALSE(ParseScript("type", error));
    EXPECT_FALSE(ParseScript("type4x", error));
    EXPECT_NE(error.find("item 1"), std::string::npos) << error;
    ASSERT_TRUE(ParseScript("   ", error));
    EXPECT_TRUE(ParseScript("   ", error)->empty());
}

TEST(RawEncoder, PacksTwoSamplesInThreeBytesAndAnOddLastSampleInTwo)
{
    // One row of three pixels: R site, G site, R site of an RGGB mosaic.
    const uint8_t rgb[] = {255, 0, 0, /**/ 0, 255, 0, /**/ 0, 0, 0};
    const std::vector<uint8_t> raw = EncodeRaw(rgb, 3, 1, RawInfo{});
    ASSERT_EQ(raw.size(), 128u + 5u);
    const uint8_t *row = raw.data() + 128;
    const int a = row[0] | (row[1] & 0x0F) << 8;
    const int b = row[1] >> 4 | row[2] << 4;
    const int c = row[3] | row[4] << 8;
    EXPECT_EQ(a, 4095) << "full red is the white level";
    EXPECT_EQ(b, 4095) << "full green on a green site";
    EXPECT_EQ(c, 256) << "black is the black level";
}

TEST(SharedRecords, AChangedPropertyListNeverOutgrowsItsBuffer)
{
    const std::vector<vrx4k::PropertyEntry> entries(CHANGED_PROPERTY_MAX_ENTRIES + 5, {0x2004, 0x11223344});
    std::vector<uint8_t> list(CHANGED_PROPERTY_LIST_SIZE + 8, 0xCD);
    EXPECT_EQ(vrx4k::WriteChangedProperties(list.data(), entries), CHANGED_PROPERTY_MAX_ENTRIES);
    EXPECT_EQ(list[0] | list[1] << 8, CHANGED_PROPERTY_MAX_ENTRIES);
    const size_t end = CHANGED_PROPERTY_COUNT_SIZE + CHANGED_PROPERTY_MAX_ENTRIES * CHANGED_PROPERTY_ENTRY_SIZE;
    const uint8_t *last = list.data() + end - CHANGED_PROPERTY_ENTRY_SIZE;
    EXPECT_EQ(vrx4k::ReadLe32(last), 0x2004u);
    EXPECT_EQ(vrx4k::ReadLe32(last + 4), 0x11223344u);
    EXPECT_EQ(list[end], 0xCD) << "written past the last entry";
    EXPECT_EQ(list[CHANGED_PROPERTY_LIST_SIZE], 0xCD) << "written past the program's buffer";
}

} // namespace
