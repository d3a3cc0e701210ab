#pragma once

// A damped spring that carries a displayed value towards its target, with the response (period
// of the undamped motion, seconds) and damping fraction used throughout the controls.
class SpringValue {
public:
    SpringValue(double response, double dampingFraction, double start = 0);

    double value() const { return m_value; }
    double target() const { return m_target; }
    void setTarget(double target);
    // Jumps straight to `v` at rest.
    void reset(double v);
    // Another spring for the next motion (the hero button's hover and press springs differ).
    void setParameters(double response, double dampingFraction);

    // Advances by dt seconds; returns whether it is still moving.
    bool step(double dt);
    bool atRest() const;

private:
    double m_response;
    double m_damping;
    double m_value;
    double m_velocity = 0;
    double m_target;
};
