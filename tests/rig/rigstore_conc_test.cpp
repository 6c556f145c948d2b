// rigstore_conc_test.cpp - the store's hand-over between its owner and its worker, run
// under ThreadSanitizer: two stores in one process saving one file while each watches
// it, submitting, taking results and asking for idleness and ages at the same time.
#include <gtest/gtest.h>

#include "tests/rig/rig_kit.h"
#include "support/test_wait.h"

using namespace rigkit;

TEST(RigStoreConc, TwoStoresSaveAndWatchOneFileWhileTheirOwnersPoll)
{
    TempRigs t;
    Store a = open_store(t, "a"), b = open_store(t, "b");
    Doc da = load(a.get()), db = load(b.get());
    ASSERT_TRUE(da && db);
    rigstore_watch(a.get(), "alsa:Stress");
    rigstore_watch(b.get(), "alsa:Stress");
    int saved = 0;
    auto take_results = [&] {
        for (RigStore* s : {a.get(), b.get()}) {
            Result r;
            while (rigstore_take_result(s, &r)) {
                saved += r.status == RIGSTORE_SAVED;
                rigstore_result_free(&r);
            }
        }
    };
    for (int i = 0; i < 60; i++) {
        da->scenes[0].inputs[0].gain = 0.01f * (float)(i + 1);
        db->scenes[0].inputs[1].gain = 0.01f * (float)(i + 1);
        RigEditMask ma = input_mask(0, RIG_EDIT_GAIN), mb = input_mask(1, RIG_EDIT_GAIN);
        EXPECT_NE(rigstore_submit_save(a.get(), da.get(), &ma), 0u);
        EXPECT_NE(rigstore_submit_save(b.get(), db.get(), &mb), 0u);
        double age = 0;
        rigstore_pending_age(a.get(), &age);
        EXPECT_GE(age, 0.0);
        take_results();
    }
    EXPECT_TRUE(rigstore_wait_idle(a.get(), TEST_WAIT_SECONDS * 1000));
    EXPECT_TRUE(rigstore_wait_idle(b.get(), TEST_WAIT_SECONDS * 1000));
    // On a busy machine every save may still be queued during the loop: the results
    // are taken again once both stores are idle.
    take_results();
    Doc disk = disk_doc(t.file("alsa:Stress"));
    ASSERT_TRUE(disk);
    EXPECT_FLOAT_EQ(disk->scenes[0].inputs[0].gain, 0.6f);
    EXPECT_FLOAT_EQ(disk->scenes[0].inputs[1].gain, 0.6f);
    EXPECT_GT(saved, 0);
}
