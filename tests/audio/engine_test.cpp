// The engine's choice of host API and devices and its stream open sequence, driven
// through the scripted audio library with the Windows host API roles (ASIO = 3,
// WASAPI = 13, MME = 2), so the rules are checked as the engine states them.
#include <gtest/gtest.h>

#include <cstring>

#include "audio/engine.h"
#include "platform/plat_audio_api.h"
#include "rig/router.h"
#include "support/fake_audio.h"

namespace {

enum { kMme = 2, kAsio = 3, kWasapi = 13 };

class EngineOpen : public ::testing::Test {
protected:
    Engine* e = engine_instance();
    FakeAudio& fa = fake_audio();

    void SetUp() override
    {
        fake_audio_reset();
        engine_use_backend(fake_audio_backend(), plat_host_api_policy_windows());
    }
    void TearDown() override
    {
        engine_shutdown(e);
        engine_use_backend(nullptr, nullptr);
    }
    void init() { ASSERT_TRUE(engine_init(e)); }

    // WASAPI with one speaker output (device 0) and one input of n channels (device 1).
    void wasapi_with_input(int inputs, double rate = 48000.0)
    {
        fa.apis.push_back({kWasapi, "Windows WASAPI", 1, 0});
        fa.devices.push_back({"Speakers (USB Audio)", 0, 0, 2, 48000.0, 0.003, 0.010});
        fa.devices.push_back({"Mic (USB Audio)", 0, inputs, 0, rate, 0.003, 0.010});
    }
};

TEST_F(EngineOpen, DirectDeviceWithOutputsRunsBothSidesWithOneBufferLatency)
{
    fa.apis.push_back({kWasapi, "Windows WASAPI", -1, 0});
    fa.apis.push_back({kAsio, "ASIO", 1, 1});
    fa.devices.push_back({"Speakers", 0, 0, 2, 48000.0, 0.003, 0.010});
    fa.devices.push_back({"Focusrite USB ASIO", 1, 4, 4, 48000.0, 0.002, 0.002});
    init();
    ASSERT_TRUE(engine_start(e));
    ASSERT_EQ(fa.opens.size(), 1u);
    const FakeOpenCall& c = fa.opens[0];
    EXPECT_EQ(c.in_device, 1);
    EXPECT_EQ(c.out_device, 1);
    EXPECT_EQ(c.in_channels, 4);
    EXPECT_DOUBLE_EQ(c.in_latency, 128.0 / 48000.0);
    EXPECT_DOUBLE_EQ(c.out_latency, 128.0 / 48000.0);
    EXPECT_STREQ(e->host_label, "ASIO");
    EXPECT_EQ(e->asio, 1);
    EXPECT_EQ(e->running, 1);
    EXPECT_STREQ(e->opened_device.api, "asio");
    EXPECT_STREQ(e->opened_device.key, "asio:Focusrite USB ASIO");
    EXPECT_EQ(e->opened_device.inputs_opened, 4);
    EXPECT_EQ(e->error_text[0], '\0');
}

TEST_F(EngineOpen, DirectDeviceWithoutTwoOutputsIsPassedOver)
{
    fa.apis.push_back({kAsio, "ASIO", 0, -1});
    fa.apis.push_back({kWasapi, "Windows WASAPI", 2, 1});
    fa.devices.push_back({"ASIO In Only", 0, 2, 1, 48000.0, 0.002, 0.002});
    fa.devices.push_back({"Speakers", 1, 0, 2, 48000.0, 0.003, 0.010});
    fa.devices.push_back({"Mic", 1, 1, 0, 48000.0, 0.003, 0.010});
    init();
    EXPECT_EQ(engine_pick_input_device(e), 2);
}

TEST_F(EngineOpen, RefusedChannelCountsAndRatesFallBackInOrder)
{
    wasapi_with_input(8, 44100.0);
    fa.refuse = [](const FakeOpenCall& c) { return c.in_channels == 8 || c.rate == 48000.0; };
    init();
    ASSERT_TRUE(engine_start(e));
    ASSERT_EQ(fa.opens.size(), 4u);
    EXPECT_EQ(fa.opens[0].in_channels, 8);
    EXPECT_EQ(fa.opens[0].rate, 48000.0);
    EXPECT_EQ(fa.opens[1].rate, 44100.0);
    EXPECT_EQ(fa.opens[2].in_channels, 2);
    EXPECT_EQ(fa.opens[3].rate, 44100.0);
    EXPECT_EQ(e->input_channels, 2);
    EXPECT_EQ(e->sample_rate, 44100.0);
    EXPECT_EQ(e->opened_device.inputs_opened, 2);
    EXPECT_EQ(e->opened_device.inputs_on_device, 8);
    EXPECT_EQ(e->opened_device.sample_rate, 44100.0);
}

TEST_F(EngineOpen, TwoInputDeviceIsTriedOncePerRateThenOutputOnly)
{
    wasapi_with_input(2);
    fa.refuse = [](const FakeOpenCall& c) { return c.in_device >= 0; };
    init();
    ASSERT_TRUE(engine_start(e));
    ASSERT_EQ(fa.opens.size(), 3u);   // 2 channels at 48000 and at the default rate, then output-only
    EXPECT_EQ(fa.opens[2].in_device, -1);
    EXPECT_EQ(fa.opens[2].out_device, 0);
    EXPECT_EQ(e->input_channels, 0);
    EXPECT_STREQ(e->input_name, "(no input)");
    EXPECT_EQ(e->open_input_device, -1);
    RigDeviceInfo zero;
    std::memset(&zero, 0, sizeof zero);
    EXPECT_EQ(std::memcmp(&e->opened_device, &zero, sizeof zero), 0);
}

TEST_F(EngineOpen, InputChannelsAreClampedTo64)
{
    wasapi_with_input(70);
    init();
    ASSERT_TRUE(engine_start(e));
    EXPECT_EQ(fa.opens[0].in_channels, 64);
    EXPECT_EQ(e->input_channels, 64);
    EXPECT_EQ(e->opened_device.inputs_on_device, 64);
}

TEST_F(EngineOpen, RefusedExclusiveModeStillGivesASharedStream)
{
    wasapi_with_input(2);
    fa.refuse = [](const FakeOpenCall& c) { return c.exclusive != 0; };
    init();
    ASSERT_TRUE(engine_set_exclusive(e, 1));
    ASSERT_EQ(fa.opens.size(), 2u);
    EXPECT_EQ(fa.opens[0].exclusive, 1);
    EXPECT_DOUBLE_EQ(fa.opens[0].out_latency, 128.0 / 48000.0);
    EXPECT_EQ(fa.opens[1].exclusive, 0);
    EXPECT_DOUBLE_EQ(fa.opens[1].in_latency, 0.003);
    EXPECT_DOUBLE_EQ(fa.opens[1].out_latency, 0.010);
    EXPECT_EQ(e->exclusive_granted, 0);
    EXPECT_EQ(e->running, 1);

    fake_audio().refuse = nullptr;
    ASSERT_TRUE(engine_start(e));
    EXPECT_EQ(e->exclusive_granted, 1);
}

TEST_F(EngineOpen, StreamStampRisesOnEveryOpenEvenWhenTheStartFails)
{
    wasapi_with_input(2);
    init();
    ASSERT_TRUE(engine_start(e));
    EXPECT_EQ(e->stream_stamp, 1u);
    fa.start_result = paInternalError;
    EXPECT_FALSE(engine_start(e));
    EXPECT_EQ(e->stream_stamp, 2u);
    EXPECT_STREQ(e->error_text, "stream start failed");
    EXPECT_EQ(e->running, 0);
    EXPECT_FALSE(fa.stream_open);

    fa.refuse = [](const FakeOpenCall&) { return true; };
    EXPECT_FALSE(engine_start(e));
    EXPECT_EQ(e->stream_stamp, 2u);
    EXPECT_STREQ(e->error_text, "no audio stream");
}

TEST_F(EngineOpen, NoDevicesAtAllEndsInNoAudioStream)
{
    init();
    EXPECT_FALSE(engine_start(e));
    EXPECT_STREQ(e->error_text, "no audio stream");
    EXPECT_EQ(e->running, 0);
    EXPECT_EQ(e->stream_stamp, 0u);
}

TEST_F(EngineOpen, MissingHostApisAndStaleDeviceIndicesReadAsNoDevice)
{
    fa.apis.push_back({kMme, "MME", 1, 0});
    fa.devices.push_back({"Speakers", 0, 0, 2, 48000.0, 0.01, 0.01});
    fa.devices.push_back({"Mic", 0, 1, 0, 48000.0, 0.01, 0.01});
    fa.default_input = 1;
    fa.default_output = 0;
    init();
    EXPECT_EQ(engine_pick_input_device(e), 1);   // neither ASIO nor WASAPI exists
    e->chosen_input_device = 57;                   // a device restored from old settings
    ASSERT_TRUE(engine_start(e));
    EXPECT_EQ(e->input_channels, 0);
    EXPECT_STREQ(e->host_label, "MME");
    char name[128], label[32];
    engine_device_label(e, 57, name, sizeof name, label, sizeof label);
    EXPECT_STREQ(name, "");
    EXPECT_STREQ(label, "");
}

TEST_F(EngineOpen, OutputDeviceThatRefuses48kHzOpensAtItsOwnRate)
{
    fa.apis.push_back({kWasapi, "Windows WASAPI", -1, 0});
    fa.devices.push_back({"Speakers", 0, 0, 2, 44100.0, 0.003, 0.010});
    fa.refuse = [](const FakeOpenCall& c) { return c.rate != 44100.0; };
    init();
    ASSERT_TRUE(engine_start(e));
    EXPECT_EQ(e->sample_rate, 44100.0);
}

TEST_F(EngineOpen, LatencyComesFromStreamInfoOrFromTheBufferSize)
{
    wasapi_with_input(2);
    init();
    ASSERT_TRUE(engine_start(e));
    EXPECT_NEAR(e->latency_ms, 10.0, 1e-9);
    float in[1024] = {}, out[1024];   // a new block size from the server: the watch reads it again
    fa.info_output_latency = 0.016;
    fake_audio_pump(in, out, 512);
    engine_watch(e);
    EXPECT_NEAR(e->latency_ms, 20.0, 1e-9);
    fa.have_stream_info = false;
    ASSERT_TRUE(engine_start(e));
    EXPECT_NEAR(e->latency_ms, 128 * 2000.0 / 48000.0, 1e-9);
    fake_audio_pump(in, out, 512);   // the server's block, not the saved 128
    engine_watch(e);
    EXPECT_NEAR(e->latency_ms, 512 * 2000.0 / 48000.0, 1e-9);
    engine_stop(e);   // the last stream's block stays with its latency
    EXPECT_EQ(e->latency_block, 512);
}

TEST_F(EngineOpen, BufferSizeCyclesWrapBothWays)
{
    wasapi_with_input(2);
    init();
    struct { int from, dir, to; } cases[] = {{64, -1, 1024}, {1024, 1, 64}, {100, 1, 512}, {100, -1, 128}, {128, 1, 256}};
    for (auto c : cases) {
        e->buffer_frames = c.from;
        engine_cycle_buffer_size(e, c.dir);
        EXPECT_EQ(e->buffer_frames, c.to) << c.from << " " << c.dir;
        EXPECT_EQ(fa.opens.back().frames, (unsigned long)c.to);
    }
}

TEST_F(EngineOpen, InputDeviceCyclingWrapsAcrossEveryHostApi)
{
    fa.apis.push_back({kMme, "MME", 1, 0});
    fa.apis.push_back({kWasapi, "Windows WASAPI", 2, 0});
    fa.devices.push_back({"Speakers", 1, 0, 2, 48000.0, 0.01, 0.01});
    fa.devices.push_back({"MME Mic", 0, 1, 0, 48000.0, 0.01, 0.01});
    fa.devices.push_back({"WASAPI Mic", 1, 2, 0, 48000.0, 0.01, 0.01});
    init();
    ASSERT_TRUE(engine_start(e));
    EXPECT_EQ(e->open_input_device, 2);
    engine_cycle_input_device(e, 1);
    EXPECT_EQ(e->open_input_device, 1);
    engine_cycle_input_device(e, -1);
    EXPECT_EQ(e->open_input_device, 2);
    engine_cycle_input_device(e, -1);
    EXPECT_EQ(e->open_input_device, 1);

    int list[8];
    ASSERT_EQ(engine_list_input_devices(e, list, 8), 1);   // only ASIO, then WASAPI devices
    EXPECT_EQ(list[0], 2);
}

TEST_F(EngineOpen, FindInputDeviceComparesNameAndLabelAsFormatted)
{
    std::string long_name(200, 'x');
    fa.apis.push_back({kWasapi, "Windows WASAPI", 1, 0});
    fa.apis.push_back({kMme, "MME", -1, -1});
    fa.devices.push_back({"Speakers", 0, 0, 2, 48000.0, 0.01, 0.01});
    fa.devices.push_back({"Mic", 0, 1, 0, 48000.0, 0.01, 0.01});
    fa.devices.push_back({"Mic", 1, 1, 0, 48000.0, 0.01, 0.01});
    fa.devices.push_back({long_name.c_str(), 1, 1, 0, 48000.0, 0.01, 0.01});
    init();
    EXPECT_EQ(engine_find_input_device(e, "Mic", "WASAPI"), 1);
    EXPECT_EQ(engine_find_input_device(e, "Mic", "MME"), 2);
    EXPECT_EQ(engine_find_input_device(e, "Mic", "ASIO"), -1);
    EXPECT_EQ(engine_find_input_device(e, "Speakers", "WASAPI"), -1);   // no inputs
    EXPECT_EQ(engine_find_input_device(e, (long_name + "tail").c_str(), "MME"), 3);   // 127 bytes count
}

TEST_F(EngineOpen, RouterIsPreparedForTheOpenedInputsOnly)
{
    wasapi_with_input(4);
    init();
    RigRouter* r = rigroute_new();
    ASSERT_NE(r, nullptr);
    e->router = r;
    ASSERT_TRUE(engine_start(e));
    RigMeters m;
    rigroute_take_meters(r, &m);
    EXPECT_EQ(m.channels, 4);
    EXPECT_EQ(m.stream_tag, rig_fnv1a32("wasapi:Mic (USB Audio)"));

    // An output-only reopen leaves the router as the last stream prepared it.
    fake_audio().refuse = [](const FakeOpenCall& c) { return c.in_device >= 0; };
    ASSERT_TRUE(engine_start(e));
    EXPECT_EQ(e->input_channels, 0);
    rigroute_take_meters(r, &m);
    EXPECT_EQ(m.channels, 4);
    engine_stop(e);
    e->router = nullptr;
    rigroute_free(r);
}

TEST_F(EngineOpen, InitFailureOfTheAudioLibraryIsReported)
{
    fa.init_fails = true;
    EXPECT_FALSE(engine_init(e));
    EXPECT_STREQ(e->error_text, "PortAudio init failed");
}

// A chosen device whose server goes away stays chosen (and saved) while the stream
// runs without it, and is taken again once it is back.
TEST_F(EngineOpen, AChosenDeviceThatWentAwayIsKeptAndTakenAgain)
{
    wasapi_with_input(2);
    init();
    engine_set_input_device(e, 1);
    ASSERT_EQ(e->open_input_device, 1);
    FakeDevice mic = fa.devices[1];
    fa.on_rescan = [&] { fa.devices.pop_back(); };
    engine_start(e);
    char name[128], label[32];
    engine_chosen_device_label(e, name, sizeof name, label, sizeof label);
    EXPECT_STREQ(name, "Mic (USB Audio)");
    EXPECT_STREQ(label, "WASAPI");
    EXPECT_EQ(e->input_channels, 0);
    fa.on_rescan = [&] { fa.devices.push_back(mic); };
    engine_start(e);
    EXPECT_EQ(e->open_input_device, 1);
}

}  // namespace

// A first pass cut off by a lost stream becomes the loop, as a close request would make it.
TEST_F(EngineOpen, AFirstPassCutOffByALostStreamIsClosedAtWhatWasRecorded)
{
    wasapi_with_input(2);
    init();
    ASSERT_TRUE(engine_start(e));
    e->clear_request = 1;
    e->record = 1;
    float in[256] = {}, out[256];
    for (int b = 0; b < 48; b++)
        fake_audio_pump(in, out, 128);
    fa.server_gone = true;
    engine_watch(e);
    EXPECT_EQ(e->length.load(), 48 * 128);
}
