#pragma once

#include "actions/SampleResult.h"

#include <optional>

// How a measured run through the reversible shell ended.
class ShellOutcome {
public:
    enum class Kind { executed, disqualified, refused };

    static ShellOutcome executed(SampleResult result) { return ShellOutcome(Kind::executed, std::move(result)); }
    static ShellOutcome disqualified() { return ShellOutcome(Kind::disqualified, std::nullopt); }
    static ShellOutcome refused() { return ShellOutcome(Kind::refused, std::nullopt); }

    Kind kind() const { return m_kind; }
    // Only for executed.
    const std::optional<SampleResult>& result() const { return m_result; }

    friend bool operator==(const ShellOutcome&, const ShellOutcome&) = default;

private:
    ShellOutcome(Kind kind, std::optional<SampleResult> result) : m_kind(kind), m_result(std::move(result)) {}
    Kind m_kind;
    std::optional<SampleResult> m_result;
};
