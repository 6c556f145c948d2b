// Particles (generator, ring overwrite, ageing, refusing dead lives, drawing) and the
// damped spring.
#include <cmath>
#include <vector>

#include "tests/ui/kit_test.h"
#include "ui/particles.h"
#include "ui/spring.h"

TEST(Particles, GeneratorStartsFromItsSeedWhenTheStateIsZero)
{
    ParticleRing ring{};
    float u = particles_random(&ring);
    EXPECT_EQ(ring.state, 0xA95BBF51u);
    EXPECT_NEAR(u, 0.358388f, 1e-6);
}

// The four draws of each particle of a burst, in spawn order.
struct Draws {
    float vx, vy, life, size;
};
static std::vector<Draws> expected_draws(uint32_t state, int count)
{
    ParticleRing gen{};
    gen.state = state;
    std::vector<Draws> out;
    for (int i = 0; i < count; ++i) {
        Draws d;
        d.vx = particles_random(&gen);
        d.vy = particles_random(&gen);
        d.life = particles_random(&gen);
        d.size = particles_random(&gen);
        out.push_back(d);
    }
    return out;
}

TEST(Particles, ABurstLargerThanTheRingOverwritesItsOwnOldestParticles)
{
    ParticleRing ring{};
    ring.state = 77;
    std::vector<Draws> d = expected_draws(77, 600);
    particles_spawn(&ring, 5, 6, 10, -20, 4, 2.0f, 3.0f, draw_rgba(1, 2, 3, 4), 600);
    EXPECT_EQ(ring.write_index, 600 - 512);
    for (int slot = 0; slot < PARTICLE_SLOTS; ++slot) {
        int n = slot < 88 ? 512 + slot : slot;   // slots 0..87 hold the burst's last 88
        const Particle& p = ring.slots[slot];
        ASSERT_TRUE(p.active);
        EXPECT_FLOAT_EQ(p.vx, 10 + (2 * d[n].vx - 1) * 4) << slot;
        EXPECT_FLOAT_EQ(p.vy, -20 + (2 * d[n].vy - 1) * 4) << slot;
        EXPECT_FLOAT_EQ(p.life_left, (d[n].life + 0.5f) * 2) << slot;
        EXPECT_EQ(p.life_total, p.life_left);
        EXPECT_FLOAT_EQ(p.size, (d[n].size + 0.5f) * 3) << slot;
        EXPECT_EQ(p.x, 5);
        EXPECT_EQ(p.y, 6);
        EXPECT_EQ(p.colour, draw_rgba(1, 2, 3, 4));
    }
}

TEST(Particles, UpdateMovesWithTheOldVelocityThenAppliesGravityAndDrag)
{
    ParticleRing ring{};
    ring.slots[3] = Particle{0, 0, 10, -100, 1.0f, 1.0f, 4, 0, 1};
    particles_update(&ring, 0.1f);
    const Particle& p = ring.slots[3];
    EXPECT_FLOAT_EQ(p.x, 1);
    EXPECT_FLOAT_EQ(p.y, -10);
    EXPECT_FLOAT_EQ(p.vy, -74);
    EXPECT_FLOAT_EQ(p.vx, 8.8f);
    EXPECT_FLOAT_EQ(p.life_left, 0.9f);

    // Its life runs out: it goes dark where it was.
    particles_update(&ring, 1.0f);
    EXPECT_FALSE(p.active);
    EXPECT_FLOAT_EQ(p.x, 1);
    EXPECT_FLOAT_EQ(p.y, -10);
}

TEST(Particles, LivesThatAreNotPositiveFiniteNumbersNeverSpawn)
{
    ParticleRing ring{};
    ring.state = 5;
    for (float life : {0.0f, -1.0f, NAN, INFINITY})
        particles_spawn(&ring, 0, 0, 0, 0, 1, life, 2, 0xFFFFFFFFu, 10);
    for (float size : {-1.0f, NAN})
        particles_spawn(&ring, 0, 0, 0, 0, 1, 1.0f, size, 0xFFFFFFFFu, 10);
    particles_spawn(&ring, 0, 0, 0, 0, 1, 1.0f, 2, 0xFFFFFFFFu, 0);
    EXPECT_EQ(ring.write_index, 0);
    EXPECT_EQ(ring.state, 5u);
    for (const Particle& p : ring.slots)
        EXPECT_FALSE(p.active);

    // A slot whose life became NaN dies at the next update.
    ring.slots[0] = Particle{0, 0, 0, 0, NAN, 1.0f, 2, 0, 1};
    particles_update(&ring, 0.016f);
    EXPECT_FALSE(ring.slots[0].active);
}

class ParticleDraw : public KitTest {
protected:
    ParticleDraw() : KitTest(200, 100) {}
};

TEST_F(ParticleDraw, ParticlesShrinkAndFadeWithTheirLifeAndDeadSlotsDrawNothing)
{
    ParticleRing ring{};
    const uint32_t c = draw_rgba(200, 100, 50, 255);
    ring.slots[0] = Particle{30, 50, 0, 0, 1.0f, 1.0f, 20, c, 1};    // full life: side 20, alpha 235
    ring.slots[1] = Particle{80, 50, 0, 0, 0.5f, 1.0f, 20, c, 1};    // half: side 14, alpha 117
    ring.slots[2] = Particle{130, 50, 0, 0, 0.0f, 0.0f, 20, c, 1};   // 0 / 0
    ring.slots[3] = Particle{170, 50, 0, 0, NAN, 1.0f, 20, c, 1};
    particles_draw(&kit, &ring);
    read();
    shot();

    EXPECT_TRUE(draw_probe(&fx, 30, 50, draw_expect_add(bg, DrawPixel{200, 100, 50, 235})));
    EXPECT_TRUE(draw_probe(&fx, 21, 50, draw_expect_add(bg, DrawPixel{200, 100, 50, 235})));
    EXPECT_TRUE(draw_probe(&fx, 80, 50, draw_expect_add(bg, DrawPixel{200, 100, 50, 117})));
    EXPECT_TRUE(draw_probe(&fx, 74, 50, draw_expect_add(bg, DrawPixel{200, 100, 50, 117})));
    EXPECT_TRUE(draw_probe(&fx, 72, 50, bg));
    for (int x = 110; x < 200; ++x)
        for (int y = 20; y < 80; ++y)
            ASSERT_TRUE(draw_probe(&fx, x, y, bg, 0)) << x << ", " << y;
}

TEST(Spring, OneStepIsSemiImplicitEulerAndLongFramesCountAs33Ms)
{
    Spring s;
    spring_init(&s, 0, 10, 0.5f);
    s.target = 1;
    spring_step(&s, 0.01f);
    // a = -100 (0 - 1) - 2 (0.5)(10)(0) = 100; velocity 1; value moves with the new velocity.
    EXPECT_FLOAT_EQ(s.velocity, 1);
    EXPECT_FLOAT_EQ(s.value, 0.01f);

    spring_step(&s, 1.0f);
    float a = -100 * (0.01f - 1) - 10 * 1;
    EXPECT_FLOAT_EQ(s.velocity, 1 + a * 0.033f);
    EXPECT_FLOAT_EQ(s.value, 0.01f + (1 + a * 0.033f) * 0.033f);
}

TEST(Spring, CriticalDampingSettlesWithoutOvershoot)
{
    for (float omega : {10.0f, 20.0f, 26.0f}) {
        Spring s;
        spring_init(&s, 0, omega, 1);
        s.target = 1;
        float peak = 0;
        for (int i = 0; i < 180; ++i) {
            spring_step(&s, 1 / 60.0f);
            peak = std::max(peak, s.value);
        }
        EXPECT_LE(peak, 1.0f) << omega;
        EXPECT_NEAR(s.value, 1, 1e-3) << omega;
    }
}

TEST(Spring, NonFiniteStepsLeaveItAlone)
{
    Spring s;
    spring_init(&s, 0.5f, 20, 0.6f);
    s.target = 1;
    s.velocity = 2;
    for (float dt : {NAN, INFINITY, -INFINITY})
        spring_step(&s, dt);
    EXPECT_EQ(s.value, 0.5f);
    EXPECT_EQ(s.velocity, 2);
    spring_step(&s, 0.016f);
    EXPECT_TRUE(std::isfinite(s.value));
    EXPECT_GT(s.value, 0.5f);
}
