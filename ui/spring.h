// spring.h - a damped spring for animated values (semi-implicit Euler).
// Threads: any; a spring belongs to one thread.
// Depends on: nothing.
#pragma once

struct Spring {
    float value;
    float velocity;
    float target;
    float omega;   // angular frequency, rad/s
    float zeta;    // damping ratio: 1 settles fastest without overshoot
};

// value and target = value, velocity 0.
void spring_init(Spring* s, float value, float omega, float zeta);
// Advances by dt seconds, at most 0.033 s per call (a long frame cannot blow the
// spring up). A dt that is not a finite number leaves the spring as it was.
void spring_step(Spring* s, float dt);
