#include "title_picture.h"
#include "backcg_encode.h"

#include <cstdlib>
#include <cstring>

// Column-RLE only pays for vertical repeats of whole 4-pixel cells, so the
// picture is built from flat areas and horizontal bands several rows tall;
// there is no dithering and no per-row gradient anywhere.

namespace {

const int W = static_cast<int>(kTitleWidth);
const int H = static_cast<int>(kTitleHeight);
const int kHorizon = 330; // first row of the lake

struct Rgb {
    int r, g, b;
};

Rgb Mix(Rgb a, Rgb b, int t, int scale) {
    return {a.r + (b.r - a.r) * t / scale, a.g + (b.g - a.g) * t / scale,
            a.b + (b.b - a.b) * t / scale};
}

class Palette {
  public:
    explicit Palette(uint8_t *table) : table_(table) {
        std::memset(table_, 0, 768);
    }
    uint8_t Add(Rgb c) {
        if (next_ > kTitleLastIndex)
            std::abort(); // the scene asks for more colours than it may use
        uint8_t *e = table_ + 3 * next_;
        e[0] = static_cast<uint8_t>(c.b);
        e[1] = static_cast<uint8_t>(c.g);
        e[2] = static_cast<uint8_t>(c.r);
        return static_cast<uint8_t>(next_++);
    }

  private:
    uint8_t *table_;
    int next_ = kTitleFirstIndex;
};

// A small deterministic generator (the constants of a common 32-bit LCG).
struct Lcg {
    uint32_t state;
    uint32_t Next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    int Below(int n) {
        return static_cast<int>(Next() % static_cast<uint32_t>(n));
    }
};

// ---------------------------------------------------------------- colours

const int kSkyShades = 32;

struct Colours {
    uint8_t sky[kSkyShades], halo[kSkyShades], water[kSkyShades];
    uint8_t star[4];
    uint8_t moon[4], crater[2];
    uint8_t farLit, farShade, snowLit, snowShade;
    uint8_t midLit, midShade;
    uint8_t nearHill, tree;
    uint8_t farMirror, midMirror, nearMirror, ripple;
    uint8_t glint[2];
    uint8_t gold[6], outline, shadow;
};

Rgb SkyColour(int shade) {
    // Night blue at the top, through violet and rose, to gold on the horizon.
    static const struct {
        int at;
        Rgb c;
    } keys[] = {{0, {8, 10, 40}},     {11, {28, 22, 82}},   {19, {84, 40, 122}},
                {25, {186, 74, 124}}, {29, {244, 136, 92}}, {31, {255, 204, 124}}};
    for (size_t k = 1; k < sizeof keys / sizeof keys[0]; ++k)
        if (shade <= keys[k].at)
            return Mix(keys[k - 1].c, keys[k].c, shade - keys[k - 1].at,
                       keys[k].at - keys[k - 1].at);
    return keys[5].c;
}

void MakeColours(Palette &p, Colours &c) {
    const Rgb night = {8, 12, 38};
    const Rgb moonlight = {255, 242, 206};
    for (int i = 0; i < kSkyShades; ++i)
        c.sky[i] = p.Add(SkyColour(i));
    for (int i = 0; i < kSkyShades; ++i)
        c.halo[i] = p.Add(Mix(SkyColour(i), moonlight, 1, 4));
    for (int i = 0; i < kSkyShades; ++i)
        c.water[i] = p.Add(Mix(SkyColour(i), night, 9, 20));
    c.star[0] = p.Add({255, 255, 255});
    c.star[1] = p.Add({200, 220, 255});
    c.star[2] = p.Add({255, 236, 186});
    c.star[3] = p.Add({140, 150, 206});
    c.moon[0] = p.Add({255, 250, 226});
    c.moon[1] = p.Add({250, 240, 204});
    c.moon[2] = p.Add({242, 228, 184});
    c.moon[3] = p.Add({230, 212, 164});
    c.crater[0] = p.Add({214, 198, 160});
    c.crater[1] = p.Add({198, 182, 146});
    c.farLit = p.Add({112, 72, 142});
    c.farShade = p.Add({78, 50, 114});
    c.snowLit = p.Add({234, 214, 240});
    c.snowShade = p.Add({168, 148, 200});
    c.midLit = p.Add({64, 40, 96});
    c.midShade = p.Add({44, 28, 74});
    c.nearHill = p.Add({22, 14, 40});
    c.tree = p.Add({12, 8, 26});
    c.farMirror = p.Add({42, 30, 72});
    c.midMirror = p.Add({28, 20, 52});
    c.nearMirror = p.Add({12, 10, 28});
    c.ripple = p.Add({118, 108, 168});
    c.glint[0] = p.Add({252, 232, 172});
    c.glint[1] = p.Add({196, 176, 138});
    const Rgb gold[6] = {{255, 246, 192}, {255, 228, 132}, {250, 204, 90},
                         {240, 174, 60},  {224, 144, 46},  {198, 112, 34}};
    for (int i = 0; i < 6; ++i)
        c.gold[i] = p.Add(gold[i]);
    c.outline = p.Add({40, 16, 42});
    c.shadow = p.Add({10, 6, 22});
}

// ---------------------------------------------------------------- geometry

struct Peak {
    int x, height, slope; // slope in rows per 16 pixels
};

// Height above the horizon of a range made of straight-sided peaks, and
// whether the point lies on the sunward (left) face of its highest peak.
int RidgeHeight(const Peak *peaks, int n, int x, bool *lit, int *apex) {
    int best = 0;
    *lit = true;
    *apex = 0;
    for (int i = 0; i < n; ++i) {
        int h = peaks[i].height - std::abs(x - peaks[i].x) * peaks[i].slope / 16;
        if (h > best) {
            best = h;
            *lit = x < peaks[i].x;
            *apex = peaks[i].height;
        }
    }
    return best;
}

const Peak kFar[] = {{-20, 96, 18},  {64, 128, 22},  {168, 156, 20}, {262, 112, 24},
                     {354, 168, 19}, {446, 122, 23}, {534, 142, 21}, {610, 100, 18}};
const Peak kMid[] = {{20, 70, 14},  {118, 88, 16}, {214, 64, 15}, {300, 92, 17},
                     {402, 74, 14}, {496, 96, 16}, {590, 70, 15}};
const int kFarCount = sizeof kFar / sizeof kFar[0];
const int kMidCount = sizeof kMid / sizeof kMid[0];

// Gentle shore hills: a triangle wave softened into long flat steps.
int NearHeight(int x) {
    int t = (x + 40) % 160;
    int tri = t < 80 ? t : 160 - t;
    return 14 + tri / 4 + ((x / 230) % 2) * 6;
}

enum Layer { kSky, kFarRange, kMidRange, kNearShore };

Layer LandAt(int x, int y, const Colours &c, uint8_t *colour) {
    if (y >= kHorizon)
        return kSky;
    const int above = kHorizon - y;
    if (above <= NearHeight(x)) {
        *colour = c.nearHill;
        return kNearShore;
    }
    bool lit;
    int apex;
    if (above <= RidgeHeight(kMid, kMidCount, x, &lit, &apex)) {
        *colour = lit ? c.midLit : c.midShade;
        return kMidRange;
    }
    int ridge = RidgeHeight(kFar, kFarCount, x, &lit, &apex);
    if (above <= ridge) {
        // Snow on the tall peaks, its lower edge a zigzag.
        int zig = (x % 12 < 6 ? x % 12 : 12 - x % 12) - 3;
        bool snow = apex >= 120 && above > apex - (apex - 96) / 2 - 6 + zig;
        if (snow)
            *colour = lit ? c.snowLit : c.snowShade;
        else
            *colour = lit ? c.farLit : c.farShade;
        return kFarRange;
    }
    return kSky;
}

// Stylised pines along the shore: three stacked tiers each.
struct Tree {
    int x, height;
};
const Tree kTrees[] = {{14, 40},  {30, 28},  {46, 50},  {60, 34},  {96, 24},  {132, 30}, {238, 22},
                       {252, 30}, {372, 26}, {520, 36}, {538, 52}, {556, 40}, {572, 30}};

bool TreeAt(int x, int y) {
    for (const Tree &t : kTrees) {
        int base = kHorizon - NearHeight(t.x) + 6;
        int top = base - t.height;
        if (y < top || y >= base)
            continue;
        int tierHeight = t.height / 3;
        int rel = y - top;
        int tier = rel / tierHeight;
        if (tier > 2)
            tier = 2;
        int local = rel - tier * tierHeight;
        int half = 1 + local / 2 + tier * 2;
        if (std::abs(x - t.x) <= half)
            return true;
    }
    return false;
}

// ---------------------------------------------------------------- the moon

const int kMoonX = 478, kMoonY = 62, kMoonR = 32, kHaloR = 46;

int DistanceSquared(int x, int y, int cx, int cy) {
    return (x - cx) * (x - cx) + (y - cy) * (y - cy);
}

bool MoonAt(int x, int y, const Colours &c, uint8_t *colour) {
    if (DistanceSquared(x, y, kMoonX, kMoonY) > kMoonR * kMoonR)
        return false;
    static const struct {
        int dx, dy, r;
    } craters[] = {{-11, -9, 7}, {9, 7, 6}, {-5, 14, 4}, {13, -13, 3}, {-17, 6, 3}};
    for (const auto &k : craters) {
        int d = DistanceSquared(x, y, kMoonX + k.dx, kMoonY + k.dy);
        if (d <= k.r * k.r) {
            *colour = c.crater[d * 2 <= k.r * k.r ? 1 : 0];
            return true;
        }
    }
    *colour = c.moon[(y - (kMoonY - kMoonR)) * 4 / (2 * kMoonR + 1)];
    return true;
}

// ---------------------------------------------------------------- the title

// A blocky face of our own, 5 x 7 blocks per letter.
const char *const kGlyphs[][7] = {
    {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}, // O
    {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}, // R
    {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}, // L
    {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "#####"}, // I
    {"#...#", "##..#", "#.#.#", "#.#.#", "#..##", "#...#", "#...#"}, // N
    {".....", ".....", ".....", "####.", ".....", ".....", "....."}, // -
    {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"}, // Q
    {"#####", "....#", "...#.", "..#..", ".##..", ".#...", ".#..."}, // 7
};
const int kLetters = 8;
const int kBlock = 9;                                    // pixels per block
const int kTitleBlocksWide = kLetters * 6 - 1;           // one blank column between letters
const int kTitleX = (W - kTitleBlocksWide * kBlock) / 2; // 78
const int kTitleY = 120;

// True when block (bx, by) of the title is set.
bool TitleBlock(int bx, int by) {
    if (bx < 0 || by < 0 || by >= 7 || bx >= kTitleBlocksWide)
        return false;
    int letter = bx / 6, col = bx % 6;
    if (col == 5)
        return false;
    return kGlyphs[letter][by][col] == '#';
}

bool TitlePixel(int x, int y) {
    int dx = x - kTitleX, dy = y - kTitleY;
    if (dx < 0 || dy < 0)
        return false;
    return TitleBlock(dx / kBlock, dy / kBlock);
}

// The fill: gold darkening downwards by block row, with a bevel where a
// letter's edge is lit (top, left) or in shade (bottom, right).
uint8_t TitleFill(int x, int y, const Colours &c) {
    int dx = x - kTitleX, dy = y - kTitleY;
    int bx = dx / kBlock, by = dy / kBlock;
    int ix = dx % kBlock, iy = dy % kBlock;
    int shade = 1 + by * 3 / 6; // 1..4
    if (iy < 2 && !TitleBlock(bx, by - 1))
        shade = 0;
    else if (iy >= kBlock - 2 && !TitleBlock(bx, by + 1))
        shade = 5;
    else if (ix < 2 && !TitleBlock(bx - 1, by))
        shade = shade > 0 ? shade - 1 : 0;
    else if (ix >= kBlock - 2 && !TitleBlock(bx + 1, by))
        shade = shade < 5 ? shade + 1 : 5;
    return c.gold[shade];
}

bool Near(bool (*mask)(int, int), int x, int y, int reach) {
    for (int j = -reach; j <= reach; ++j)
        for (int i = -reach; i <= reach; ++i)
            if (mask(x + i, y + j))
                return true;
    return false;
}

// The ornament under the title: a rule with a diamond in its middle.
const int kRuleY = kTitleY + 7 * kBlock + 12;
bool RulePixel(int x, int y) {
    int mid = W / 2;
    int d = std::abs(x - mid) + std::abs(y - (kRuleY + 1));
    if (d <= 6)
        return true;
    return (y == kRuleY || y == kRuleY + 1) && std::abs(x - mid) <= 150;
}

// ---------------------------------------------------------------- the scene

int SkyShade(int y) {
    int s = y * kSkyShades / kHorizon;
    return s < kSkyShades ? s : kSkyShades - 1;
}

void DrawSky(uint8_t *px, const Colours &c) {
    for (int y = 0; y < kHorizon; ++y)
        for (int x = 0; x < W; ++x) {
            int s = SkyShade(y);
            bool halo = DistanceSquared(x, y, kMoonX, kMoonY) <= kHaloR * kHaloR;
            px[y * W + x] = halo ? c.halo[s] : c.sky[s];
        }
}

void DrawStars(uint8_t *px, const Colours &c) {
    Lcg rng{0x0512A7u};
    for (int n = 0; n < 110; ++n) {
        int x = 2 + rng.Below(W - 4), y = 2 + rng.Below(190);
        int kind = rng.Below(10);
        if (DistanceSquared(x, y, kMoonX, kMoonY) <= (kHaloR + 4) * (kHaloR + 4))
            continue;
        if (Near(TitlePixel, x, y, 8) || Near(RulePixel, x, y, 4))
            continue;
        uint8_t unused;
        if (LandAt(x, y + 2, c, &unused) != kSky)
            continue;
        if (kind == 0) { // a bright star with four short rays
            for (int d = -2; d <= 2; ++d) {
                px[y * W + x + d] = c.star[d == 0 ? 0 : 1];
                px[(y + d) * W + x] = c.star[d == 0 ? 0 : 1];
            }
        } else {
            px[y * W + x] = c.star[kind < 4 ? 3 : kind < 7 ? 1 : 2];
        }
    }
    // A shooting star with a fading tail, two rows down per three across.
    for (int i = 0; i < 66; ++i) {
        int x = 96 + i, y = 30 + i * 2 / 3;
        px[y * W + x] = c.star[i > 58 ? 0 : i > 36 ? 1 : 3];
    }
}

void DrawLand(uint8_t *px, const Colours &c) {
    for (int y = 0; y < kHorizon; ++y)
        for (int x = 0; x < W; ++x) {
            uint8_t colour;
            if (TreeAt(x, y))
                px[y * W + x] = c.tree;
            else if (LandAt(x, y, c, &colour) != kSky)
                px[y * W + x] = colour;
        }
}

void DrawMoon(uint8_t *px, const Colours &c) {
    for (int y = kMoonY - kMoonR; y <= kMoonY + kMoonR; ++y)
        for (int x = kMoonX - kMoonR; x <= kMoonX + kMoonR; ++x) {
            uint8_t colour;
            if (MoonAt(x, y, c, &colour))
                px[y * W + x] = colour;
        }
}

// Hashes a band of the lake to decide where its ripples break the mirror.
uint32_t Hash(uint32_t v) {
    v ^= v >> 16;
    v *= 0x7feb352du;
    v ^= v >> 15;
    v *= 0x846ca68bu;
    v ^= v >> 16;
    return v;
}

void DrawLake(uint8_t *px, const Colours &c) {
    for (int y = kHorizon; y < H; ++y) {
        int depth = y - kHorizon;
        // The water shows the sky's bands mirrored, squeezed into the lake.
        int mirrorShade = SkyShade(kHorizon - 1 - depth * 3);
        if (depth * 3 >= kHorizon)
            mirrorShade = 0;
        int band = depth / 6;
        bool rippleRow = depth % 12 >= 10;
        for (int x = 0; x < W; ++x) {
            uint8_t colour = c.water[mirrorShade];
            // The shore's reflection, broken by ripple lines.
            int my = kHorizon - 1 - depth;
            uint8_t land;
            Layer layer = my >= 0 ? LandAt(x, my, c, &land) : kSky;
            bool tree = my >= 0 && TreeAt(x, my);
            uint32_t h = Hash(static_cast<uint32_t>(band * 64 + x / 48));
            bool ripple = rippleRow && (h & 3) != 0;
            if (!ripple) {
                if (tree || layer == kNearShore)
                    colour = c.nearMirror;
                else if (layer == kMidRange)
                    colour = c.midMirror;
                else if (layer == kFarRange)
                    colour = c.farMirror;
            } else if ((h >> 4) % 5 == 0) {
                colour = c.ripple;
            }
            // The moon's path on the water: streaks that narrow with depth.
            int streakBand = depth / 4;
            if (streakBand % 2 == 0) {
                int half = 30 - depth / 5 - static_cast<int>(Hash(streakBand + 77) % 10);
                int centre = kMoonX + static_cast<int>(Hash(streakBand + 5) % 9) - 4;
                if (half > 0 && std::abs(x - centre) <= half)
                    colour = c.glint[depth < 50 ? 0 : 1];
            }
            px[y * W + x] = colour;
        }
    }
}

void DrawTitle(uint8_t *px, const Colours &c) {
    const int top = kTitleY - 8, bottom = kRuleY + 16;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < W; ++x) {
            uint8_t *p = &px[y * W + x];
            if (TitlePixel(x, y))
                *p = TitleFill(x, y, c);
            else if (RulePixel(x, y))
                *p = c.gold[2];
            else if (Near(TitlePixel, x, y, 3) || Near(RulePixel, x, y, 2))
                *p = c.outline;
            else if (TitlePixel(x - 6, y - 6) || RulePixel(x - 4, y - 4))
                *p = c.shadow;
        }
}

} // namespace

void DrawTitlePicture(uint8_t *pixels, uint8_t colourTable[768]) {
    Palette palette(colourTable);
    Colours c;
    MakeColours(palette, c);
    DrawSky(pixels, c);
    DrawStars(pixels, c);
    DrawMoon(pixels, c);
    DrawLand(pixels, c);
    DrawLake(pixels, c);
    DrawTitle(pixels, c);
}

std::vector<uint8_t> BuildTitleResource(ColumnRleStats *stats) {
    std::vector<uint8_t> pixels(static_cast<size_t>(kTitleWidth) * kTitleHeight);
    uint8_t table[768];
    DrawTitlePicture(pixels.data(), table);
    return BuildBackgroundResource(table, pixels.data(), kTitleWidth, kTitleHeight, stats);
}
