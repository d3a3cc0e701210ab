#include "ui/theme/SpringValue.h"

#include <algorithm>
#include <cmath>
#include <numbers>

SpringValue::SpringValue(double response, double dampingFraction, double start)
    : m_response(response), m_damping(dampingFraction), m_value(start), m_target(start)
{
}

void SpringValue::setTarget(double target)
{
    m_target = target;
}

void SpringValue::reset(double v)
{
    m_value = m_target = v;
    m_velocity = 0;
}

void SpringValue::setParameters(double response, double dampingFraction)
{
    m_response = response;
    m_damping = dampingFraction;
}

bool SpringValue::atRest() const
{
    return m_value == m_target && m_velocity == 0;
}

bool SpringValue::step(double dt)
{
    if (atRest()) return false;
    const double response = std::max(m_response, 0.01);
    const double stiffness = std::pow(2 * std::numbers::pi / response, 2);
    const double friction = 4 * std::numbers::pi * m_damping / response;
    // A long pause (a hidden window) must not throw the value far past its target.
    double remaining = std::clamp(dt, 0.0, 0.25);
    while (remaining > 0) {
        const double h = std::min(remaining, 1.0 / 240);
        m_velocity += (-stiffness * (m_value - m_target) - friction * m_velocity) * h;
        m_value += m_velocity * h;
        remaining -= h;
    }
    if (std::abs(m_value - m_target) < 5e-4 && std::abs(m_velocity) < 5e-3) {
        m_value = m_target;
        m_velocity = 0;
    }
    return !atRest();
}
