// Test helpers for the drawing operations: a destination buffer with guard
// bytes around it, and picture builders.
#pragma once
#include <cstdint>
#include <random>
#include <vector>

// A cols x rows byte canvas inside a guard margin. Rows can be addressed
// top-down (stride +pitch from Top()) or bottom-up (stride -pitch from the
// last row's start), and At(c, r) always means column c of visual row r.
class Canvas {
  public:
    static constexpr uint8_t kGuard = 0xA5;

    Canvas(uint32_t cols, uint32_t rows, uint8_t fill = 0x5A, bool bottomUp = false)
        : cols_(cols), rows_(rows), pitch_(cols + 2 * kMargin), bottomUp_(bottomUp),
          bytes_((rows + 2 * kMarginRows) * pitch_, kGuard) {
        for (uint32_t r = 0; r < rows; ++r)
            for (uint32_t c = 0; c < cols; ++c)
                At(c, r) = fill;
    }

    // The address of visual row 0's first byte and the stride to pass.
    uint8_t *Destination() {
        return bottomUp_ ? &Mem(0, rows_ - 1) : &Mem(0, 0);
    }
    int32_t Stride() const {
        return bottomUp_ ? -static_cast<int32_t>(pitch_) : static_cast<int32_t>(pitch_);
    }

    uint8_t &At(uint32_t c, uint32_t r) {
        return bottomUp_ ? Mem(c, rows_ - 1 - r) : Mem(c, r);
    }
    uint8_t At(uint32_t c, uint32_t r) const {
        return const_cast<Canvas *>(this)->At(c, r);
    }

    std::vector<uint8_t> Pixels() const {
        std::vector<uint8_t> out;
        for (uint32_t r = 0; r < rows_; ++r)
            for (uint32_t c = 0; c < cols_; ++c)
                out.push_back(At(c, r));
        return out;
    }

    // True when no byte outside the cols x rows area was touched.
    bool GuardsIntact() const {
        for (size_t i = 0; i < bytes_.size(); ++i) {
            size_t line = i / pitch_;
            size_t col = i % pitch_;
            bool inside = line >= kMarginRows && line < kMarginRows + rows_ && col >= kMargin &&
                          col < kMargin + cols_;
            if (!inside && bytes_[i] != kGuard)
                return false;
        }
        return true;
    }

    uint32_t cols() const {
        return cols_;
    }
    uint32_t rows() const {
        return rows_;
    }

  private:
    static constexpr uint32_t kMargin = 8;
    static constexpr uint32_t kMarginRows = 2;

    uint8_t &Mem(uint32_t c, uint32_t line) {
        return bytes_[(line + kMarginRows) * pitch_ + kMargin + c];
    }

    uint32_t cols_, rows_, pitch_;
    bool bottomUp_;
    std::vector<uint8_t> bytes_;
};

// A picture held as width x height pixels, top row first.
struct Pixels {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> data;
    uint8_t at(uint32_t x, uint32_t y) const {
        return data[static_cast<size_t>(y) * width + x];
    }
};

// The raw picture layout: u16 width, u16 height, then the rows.
inline std::vector<uint8_t> RawPicture(const Pixels &p) {
    std::vector<uint8_t> out = {static_cast<uint8_t>(p.width), static_cast<uint8_t>(p.width >> 8),
                                static_cast<uint8_t>(p.height),
                                static_cast<uint8_t>(p.height >> 8)};
    out.insert(out.end(), p.data.begin(), p.data.end());
    return out;
}

// Random pixels drawn from a small palette so that key bytes, equal cells and
// long runs all occur. `runny` makes each column repeat cells down its rows.
inline Pixels RandomPixels(std::mt19937 &rng, uint32_t width, uint32_t height,
                           const std::vector<uint8_t> &palette, bool runny) {
    Pixels p;
    p.width = width;
    p.height = height;
    p.data.resize(static_cast<size_t>(width) * height);
    std::uniform_int_distribution<size_t> pick(0, palette.size() - 1);
    std::uniform_int_distribution<int> len(1, 40);
    for (uint32_t col = 0; col < width / 4; ++col) {
        uint32_t y = 0;
        while (y < height) {
            uint8_t cellBytes[4];
            for (uint8_t &b : cellBytes)
                b = palette[pick(rng)];
            if (rng() % 5 == 0) // a cell of one value, e.g. wholly transparent
                cellBytes[1] = cellBytes[2] = cellBytes[3] = cellBytes[0];
            uint32_t n = runny ? static_cast<uint32_t>(len(rng)) : 1;
            if (runny && rng() % 8 == 0)
                n = 200 + rng() % 400;
            for (uint32_t k = 0; k < n && y < height; ++k, ++y)
                for (int j = 0; j < 4; ++j)
                    p.data[static_cast<size_t>(y) * width + 4 * col + j] = cellBytes[j];
        }
    }
    return p;
}
