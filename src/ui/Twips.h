#pragma once

namespace korvane {

// The width in pixels of a length in 1/1440 inch (15 per pixel).
constexpr int TwipsToPixels(int twips) { return (twips * 2 + 15) / 30; }

}  // namespace korvane
