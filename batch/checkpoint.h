// Checkpoints: everything a run needs to go on exactly where it stopped (the
// world, its generation, the rules, the random generator's whole state and
// the settle detector's memory), in a versioned text format; and the
// detector that tells when a world has settled into a fixed point or a short
// cycle.
//
// Format, version 1 (text, lines end in a line feed):
//   talvane-checkpoint 1
//   seed S                     the run's seed (decimal)
//   generation G               generations stepped since the start of the run
//   size ROWS COLS
//   edges wrap|fixed
//   neighbourhood moore|von-neumann
//   competition finite|infinite
//   payoffs R S T P
//   play-self 0|1
//   extra-point 0|1
//   real-payoffs none|R S T P  decimal payoffs that rule the finite table
//   update synchronous|asynchronous|fermi
//   noise K                    K of the fermi rule
//   mutation MU                each strategy's chance of a random code per generation
//   random INDEX W0 ... W623   the MT19937 words and the position in them
//   recent N H1 ... HN         hashes of the last N states, newest first (N <= 8)
//   grid                       then ROWS lines of COLS cells, each three
//                              digits 0..7: colour, self, others strategy
//   checksum X                 FNV-1a 64 (hex) of every byte before this line
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "random_generator.h"
#include "world.h"

namespace talvane {

inline constexpr int kCheckpointVersion = 1;
inline constexpr int kSettlePeriodMax = 8;  // longest cycle --until-settled looks for

// Remembers the hashes of the latest states of a world and says when the
// newest repeats one of up to kSettlePeriodMax generations before.
class SettleWatch {
public:
    // Adds the world as it stands; returns the period (1 .. 8) of the
    // repetition it closes, or 0 when it repeats none of the last 8 states.
    int observe(const World& world);

    const std::deque<std::uint64_t>& recent() const { return recent_; }  // newest first
    void setRecent(const std::deque<std::uint64_t>& recent) { recent_ = recent; }

    // A hash of the world's colours and strategies.
    static std::uint64_t hash(const World& world);

private:
    std::deque<std::uint64_t> recent_;
};

// Everything a checkpoint holds.
struct Checkpoint {
    std::uint32_t seed = 0;
    std::int64_t generation = 0;
    WorldShape shape;
    std::int32_t competitionMode = 4;           // a CompetitionMode
    std::array<std::int32_t, 4> payoffs{3, 0, 5, 1};
    bool playSelf = false;
    bool extraPoint = false;
    std::optional<std::array<double, 4>> realPayoffs;  // decimal payoffs, when given
    UpdateRule updateRule = UpdateRule::Synchronous;
    double noise = kDefaultNoise;
    double mutation = 0.0;
    Mt19937::State random;
    std::deque<std::uint64_t> recent;           // SettleWatch::recent()
    std::vector<CellCode> color, self, other;   // row-major
};

std::string formatCheckpoint(const Checkpoint& checkpoint);

// Reads a checkpoint file; false with a one-line error (naming the line where
// it can) when the file cannot be read, is not a checkpoint, is of another
// version, or is damaged.
bool readCheckpoint(const std::string& path, Checkpoint& checkpoint, std::string& error);

}  // namespace talvane
