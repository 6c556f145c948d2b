// spring.cpp - the damped spring.
#include "ui/spring.h"

#include <algorithm>
#include <cmath>

void spring_init(Spring* s, float value, float omega, float zeta)
{
    if (!s)
        return;
    *s = Spring{value, 0, value, omega, zeta};
}

void spring_step(Spring* s, float dt)
{
    if (!s || !std::isfinite(dt))
        return;
    float h = std::min(dt, 0.033f);
    float a = -s->omega * s->omega * (s->value - s->target) - 2 * s->zeta * s->omega * s->velocity;
    s->velocity += a * h;
    s->value += s->velocity * h;
}

float spring_ease(float value, float target, float rate, float dt)
{
    float k = std::clamp(rate * dt, 0.0f, 1.0f);
    float next = value + k * (target - value);
    return std::fabs(target - next) <= 1e-4f * std::max(1.0f, std::fabs(target)) ? target : next;
}
