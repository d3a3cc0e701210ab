#pragma once

// The half-hourly proactive sweep that start-up schedules.
class ProactiveSweepService {
public:
    virtual ~ProactiveSweepService() = default;
    virtual void runAutonomousSweep() = 0;
};
