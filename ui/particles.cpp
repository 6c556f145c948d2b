// particles.cpp - spawning, ageing and drawing the particle ring.
#include "ui/particles.h"

#include <cmath>

#include "ui/drawkit.h"

float particles_random(ParticleRing* ring)
{
    if (!ring)
        return 0;
    uint32_t s = ring->state ? ring->state : 0x12345u;
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    ring->state = s;
    return (float)(s & 0xFFFFFFu) / 16777215.0f;
}

void particles_spawn(ParticleRing* ring, float x, float y, float vx, float vy, float spread,
                     float life, float size, uint32_t colour, int32_t count)
{
    if (!ring || count < 1 || !(life > 0) || !std::isfinite(life) || !(size >= 0))
        return;
    for (int32_t i = 0; i < count; ++i) {
        Particle* p = &ring->slots[ring->write_index];
        ring->write_index = (ring->write_index + 1) % PARTICLE_SLOTS;
        p->x = x;
        p->y = y;
        p->vx = vx + (2 * particles_random(ring) - 1) * spread;
        p->vy = vy + (2 * particles_random(ring) - 1) * spread;
        p->life_total = p->life_left = (particles_random(ring) + 0.5f) * life;
        p->size = (particles_random(ring) + 0.5f) * size;
        p->colour = colour;
        p->active = 1;
    }
}

void particles_update(ParticleRing* ring, float dt)
{
    if (!ring)
        return;
    for (Particle& p : ring->slots) {
        if (!p.active)
            continue;
        p.life_left -= dt;
        if (!(p.life_left > 0)) {
            p.active = 0;
            continue;
        }
        p.x += p.vx * dt;
        p.y += p.vy * dt;
        p.vy += 260 * dt;
        p.vx *= 1 - 1.2f * dt;
    }
}

void particles_draw(DrawKit* kit, const ParticleRing* ring)
{
    if (!kit || !ring)
        return;
    draw_batch_begin(kit);
    for (const Particle& p : ring->slots) {
        if (!p.active)
            continue;
        float t = p.life_left / p.life_total;
        // A slot whose life is not a positive finite share of its total is dead.
        if (!(t > 0) || !std::isfinite(t))
            continue;
        float side = (0.4f + 0.6f * t) * p.size;
        draw_fill_additive(kit, p.x - side / 2, p.y - side / 2, side, side,
                           draw_with_alpha(p.colour, draw_alpha_byte(t * 235)));
    }
    draw_batch_end(kit);
}
