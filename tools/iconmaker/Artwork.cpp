#include "Artwork.h"

namespace {

constexpr int kBlack = 0, kSilver = 7, kGrey = 8, kLime = 10;

} // namespace

std::vector<Box> ArtworkBoxes() {
    std::vector<Box> boxes{
        {1, 2, 30, 23, kGrey},                             // bezel outline
        {2, 3, 29, 22, kSilver},                           // bezel
        {3, 4, 28, 20, kBlack},                            // screen
        {25, 21, 26, 21, kLime},                           // power lamp
        {12, 24, 19, 26, kGrey},                           // neck outline
        {13, 24, 18, 26, kSilver}, {8, 27, 23, 29, kGrey}, // foot outline
        {9, 28, 22, 28, kSilver},
    };
    // The trace: one vertical run of lime per screen column (first row, last row).
    struct Run {
        int column, top, bottom;
    };
    constexpr Run trace[] = {
        {4, 13, 13},  {5, 13, 13},  {6, 13, 13},  {7, 13, 13},  {8, 13, 13},  {9, 13, 13},
        {10, 13, 13}, {11, 9, 13},  {12, 6, 9},   {13, 6, 17},  {14, 15, 19}, {15, 13, 19},
        {16, 13, 13}, {17, 13, 13}, {18, 13, 13}, {19, 13, 13}, {20, 11, 13}, {21, 11, 11},
        {22, 11, 13}, {23, 13, 13}, {24, 13, 13}, {25, 13, 13}, {26, 13, 13}, {27, 13, 13},
    };
    for (const Run& r : trace)
        boxes.push_back({r.column, r.top, r.column, r.bottom, kLime});
    return boxes;
}

Picture Paint(const std::vector<Box>& boxes) {
    Picture p;
    for (auto& row : p)
        row.fill(kTransparent);
    for (const Box& b : boxes)
        for (int y = b.top; y <= b.bottom; ++y)
            for (int x = b.left; x <= b.right; ++x)
                p[y][x] = b.colour;
    return p;
}
