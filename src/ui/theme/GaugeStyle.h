#pragma once

// How every gauge draws: a plain ring or the instrument face with ticks and a hexagonal core.
enum class GaugeStyle { classic, hex };
