// spring.h - a damped spring for animated values (semi-implicit Euler), and the plain
// eased approach of a value to its target.
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

// One frame of an eased approach: value moves min(1, rate * dt) of the way to target
// (a dt below 0 counts as 0). In floats that approach stalls a few steps short of the
// target, so a value within a small step of it (1e-4 of max(1, |target|)) lands on it
// exactly: a view that waits for its opening to be full opens at every frame rate.
float spring_ease(float value, float target, float rate, float dt);
