// The clock the target window paints in its top left corner (bench_tool
// window --clock) and the benchmark reads back from each frame of a
// recording (bench_tool read-back --clock), so that a frame says when the
// window looked so: a grid of 8 by 4 cells of 40 by 30 pixels, black or
// white, row by row, bit 0 first. Bits 0-29 are the tick in 4 ms units, bit
// 30 makes the count of white cells even, bit 31 is always white: a frame
// caught between two paints, or blurred, reads as no tick, not a wrong one.
#pragma once

#include <cstdint>
#include <optional>

namespace zeltra::helpers {

inline constexpr int kClockColumns = 8;
inline constexpr int kClockRows = 4;
inline constexpr int kClockCells = kClockColumns * kClockRows;
inline constexpr int kClockCellWidth = 40;
inline constexpr int kClockCellHeight = 30;
inline constexpr int kClockWidth = kClockColumns * kClockCellWidth;
inline constexpr int kClockHeight = kClockRows * kClockCellHeight;

inline int clockCellLeft(int cell) { return (cell % kClockColumns) * kClockCellWidth; }
inline int clockCellTop(int cell) { return (cell / kClockColumns) * kClockCellHeight; }

inline uint32_t whiteCells(uint32_t bits) {
  uint32_t ones = 0;
  for (uint32_t v = bits; v != 0; v &= v - 1) ++ones;
  return ones;
}

// The cells for a tick: bit i set, cell i white.
inline uint32_t clockBits(uint32_t tick) {
  const uint32_t bits = (tick / 4) & 0x3FFFFFFFu;
  return bits | (whiteCells(bits) % 2 == 1 ? 1u << 30 : 0) | 1u << 31;
}

// The tick the cells show, or nullopt where they show no clock.
inline std::optional<uint32_t> clockTick(uint32_t bits) {
  if ((bits >> 31) == 0 || whiteCells(bits & 0x7FFFFFFFu) % 2 == 1) return std::nullopt;
  return (bits & 0x3FFFFFFFu) * 4;
}

}  // namespace zeltra::helpers
