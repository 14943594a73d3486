// The ecological tag model of Hammond and Axelrod (2006): a lattice of empty
// cells and agents, each agent a colour (its tag) and a (self, others) pair
// of AllC (7) and AllD (0), with immigration, one-move helping, reproduction
// into empty neighbouring cells with mutation, and death. One generation is
// one period. World::stepEcology steps it (ecology.cpp); this header holds
// its rules and the census its statistics are made from.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace talvane {

class World;

// Colour, self and others code of an empty cell in the three grids (and -1
// in a WorldFile); every other code is 0..7.
inline constexpr std::int8_t kEmptyCode = -1;

// The two codes an ecology agent may hold for its own colour and the others.
inline constexpr int kHelpCode = 7;    // AllC: helps
inline constexpr int kRefuseCode = 0;  // AllD: does not help

inline constexpr int kMaxEcologyColors = 8;

// The parameters of one period; the defaults are Hammond and Axelrod's.
struct EcologyRules {
    int colors = 4;          // 1..8: immigrants' colours are 0 .. colors - 1
    int immigrants = 1;      // agents placed in empty cells at the start of each period
    double ptr = 0.12;       // every agent's potential to reproduce before it meets anyone, 0..1
    double cost = 0.01;      // what helping takes from the helper's PTR, >= 0
    double benefit = 0.03;   // what being helped adds to the PTR, >= 0
    double death = 0.10;     // each agent's chance of dying at the end of a period, 0..1
    double mutation = 0.005;  // a child's chance, per trait, of a different colour, self or others code

    bool operator==(const EcologyRules&) const = default;
};

// The PTR after every outcome of an agent's games, for the parameters it was
// computed from (World::interact).
struct EcologyPtrTable {
    std::vector<double> ptr;
    int games = 0;
    double base = 0.0, cost = 0.0, benefit = 0.0;
};

// An agent's turn to reproduce: its cell and its PTR.
struct EcologyTurn {
    std::int32_t cell;
    double ptr;
};

// The four kinds of agent, by their (self, others) pair.
enum class AgentType : std::uint8_t {
    Ethnocentric,  // 7/0: helps its own colour only
    Humanitarian,  // 7/7: helps everyone
    Selfish,       // 0/0: helps no one
    Traitorous,    // 0/7: helps the other colours only
};
inline constexpr int kAgentTypes = 4;

// "ethnocentric", "humanitarian", "selfish", "traitorous".
const char* agentTypeName(AgentType type);

// The type of a pair given as codes, or -1 when the pair is not one of the
// four (a pair of other codes, which only imitation worlds hold).
int agentTypeOf(int self, int other);

// How many of what a world holds, for the statistics table: cells, agents
// per colour and per type, and how often agents would help the occupied
// cells around them as the world stands.
struct EcologyCensus {
    std::uint64_t agents = 0;
    std::uint64_t empty = 0;
    std::array<std::uint64_t, kMaxEcologyColors> perColor{};
    std::array<std::uint64_t, kAgentTypes> types{};  // in AgentType order
    std::uint64_t otherPairs = 0;  // agents whose pair is none of the four types
    // Ordered pairs of neighbouring agents (each agent towards each occupied
    // neighbour) of one colour and of two, and how many of them the first
    // agent helps. A strategy helps when its first move is cooperation (bit
    // 4 of its code), so under ecology code 7 helps and code 0 does not.
    std::uint64_t meetingsSame = 0, helpsSame = 0;
    std::uint64_t meetingsOther = 0, helpsOther = 0;
};

EcologyCensus takeCensus(const World& world);

// The header line of the ecology statistics table for colours 0 .. colors-1,
// ending in a line feed: generation, agents, empty, one count per colour
// (green, cyan, red, color3 .. color7), the four types, other_pairs, and the
// shares of help towards the own colour and the others (help_same,
// help_other; empty when there were no such meetings).
std::string ecologyStatsHeader(int colors);
std::string ecologyStatsRow(std::int64_t generation, const EcologyCensus& census, int colors);

}  // namespace talvane
