// Start conditions beyond pool seeding: a mixture of pairs drawn cell by cell
// with given weights, and single cells set by hand (the centre or anywhere).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "world.h"
#include "world_seeding.h"

namespace talvane {

// One cell set after seeding or loading.
struct Placement {
    int row = 0;
    int col = 0;
    int pair = 0;  // self*8 + others
};

struct StartConditions {
    std::vector<std::pair<int, double>> mix;  // (pair, weight) in the order given; empty: pool seeding
    int centerPair = -1;                      // --center: pair of the centre cell, -1 none
    std::vector<Placement> places;            // --place, in the order given

    bool any() const { return !mix.empty() || centerPair >= 0 || !places.empty(); }
};

// "SELF/OTHER", each a code 0..7 or a strategy name: "6/0", "TFT/AllD".
bool parsePair(const std::string& text, int& pair, std::string& error);

// "PAIR:WEIGHT,...": weights are non-negative decimals, at least one above 0.
bool parseMix(const std::string& text, std::vector<std::pair<int, double>>& mix, std::string& error);

// "ROW,COL,PAIR".
bool parsePlace(const std::string& text, Placement& place, std::string& error);

// The centre cell and the placed cells, checked against the world's size:
// false with error when a placed cell lies outside it.
bool placementsFor(const StartConditions& start, int rows, int cols, std::vector<Placement>& out, std::string& error);

// Sets the cells in order (a later one wins).
void applyPlacements(World& world, const std::vector<Placement>& places);

}  // namespace talvane
