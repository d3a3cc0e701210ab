#pragma once

#include "platform/HostFacts.h"

// Fixed machine facts for the connected services' bodies.
class FakeHost final : public HostFactsSource {
public:
    HostFacts facts{QStringLiteral("fixture-host"), QStringLiteral("Fixture OS 1"), QStringLiteral("Fixture CPU @ 3.00GHz"),
                    (16ull << 30) + 12345};
    HostFacts read() const override { return facts; }
};
