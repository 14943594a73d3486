// Checkpoints: everything a run needs to go on exactly where it stopped (the
// world, its generation, the rules, the random generator's whole state and
// the settle detector's memory), in a versioned text format; and the
// detector that tells when a world has settled into a fixed point or a short
// cycle.
//
// Format, version 2 (text, lines end in a line feed; a Windows line end
// is read as one):
//   talvane-checkpoint 2
//   seed S                     the run's seed (decimal)
//   generation G               generations stepped since the start of the run
//   size ROWS COLS
//   edges wrap|fixed
//   neighbourhood moore|von-neumann
//                              (a world on a graph has instead one line
//                              "graph NODES X": its node count and
//                              graphChecksum, hex)
//   competition finite|infinite
//   payoffs R S T P
//   play-self 0|1
//   extra-point 0|1
//   real-payoffs none|R S T P  decimal payoffs that rule the finite table
//   update synchronous|asynchronous|fermi|proportional|death-birth|birth-death
//   noise K                    K of the fermi rule
//   mutation MU                each strategy's chance of a random code per generation
//   ecology T N PTR C B D MU   under update ecology only: colours, immigrants,
//                              PTR, cost, benefit, death, the child's mutation
//   colors T                   under an imitation rule given --colors only
//   then, each only when it differs from the runs the program has always made:
//   schedule synchronous|random-sequential   for the rules beyond the old three
//   selection W                W of the death-birth and birth-death fitness
//   rounds N                   rounds of a finite match, when not 200
//   mutation-pools S O         codes mutation draws from (lists such as 0,7),
//                              when mutation is on and a pool is not all eight
//   random INDEX W0 ... W623   the MT19937 words and the position in them
//   recent N H1 ... HN         hashes of the last N states, newest first (N <= 8)
//   log none|LINES X           the log the run wrote: its lines and the
//                              FNV-1a 64 (hex) of its bytes; none when it
//                              went to no file (standard output, a device)
//   stats none|LINES X         the same for the statistics table
//   grid                       then ROWS lines of COLS cells, each three
//                              digits 0..7: colour, self, others strategy;
//                              "---" for an empty cell (ecology only)
//                              (a graph's nodes: lines of 64 nodes, the
//                              last one of what remains)
//   checksum X                 FNV-1a 64 (hex) of every byte before this line
// Version 1 is version 2 without the log and stats lines; it is still read.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "random_generator.h"
#include "rules.h"
#include "world.h"

namespace talvane {

class GraphWorld;

inline constexpr int kCheckpointVersion = 2;        // the version written
inline constexpr int kOldestCheckpointVersion = 1;  // the oldest version read
inline constexpr int kSettlePeriodMax = 8;  // longest cycle --until-settled looks for

// Remembers the hashes of the latest states of a world and says when the
// newest repeats one of up to kSettlePeriodMax generations before.
class SettleWatch {
public:
    // Adds the world as it stands; returns the period (1 .. 8) of the
    // repetition it closes, or 0 when it repeats none of the last 8 states.
    int observe(const World& world);
    int observe(const GraphWorld& world);

    const std::deque<std::uint64_t>& recent() const { return recent_; }  // newest first
    void setRecent(const std::deque<std::uint64_t>& recent) { recent_ = recent; }

    // A hash of the world's colours and strategies.
    static std::uint64_t hash(const World& world);
    static std::uint64_t hash(const std::vector<CellCode>& color, const std::vector<CellCode>& self,
                              const std::vector<CellCode>& other);

private:
    int observeHash(std::uint64_t h);
    std::deque<std::uint64_t> recent_;
};

// FNV-1a 64: the hash of checkpoints and of the files they vouch for.
inline constexpr std::uint64_t kFnvBasis = 0xcbf29ce484222325ull;
// Goes on hashing size bytes of data from hash (kFnvBasis for a fresh start).
std::uint64_t fnv1a(std::uint64_t hash, const char* data, std::size_t size);

// What a file a run appends to held when the checkpoint was written.
struct FileMark {
    std::int64_t lines = 0;  // line feeds in it
    std::uint64_t hash = 0;  // fnv1a of all its bytes
    bool operator==(const FileMark&) const = default;
};

// Everything a checkpoint holds.
struct Checkpoint {
    std::uint32_t seed = 0;
    std::int64_t generation = 0;
    WorldShape shape;
    Rules rules;                                // the rules of its generations, mutation pools included
    Mt19937::State random;
    std::deque<std::uint64_t> recent;           // SettleWatch::recent()
    std::optional<FileMark> log;                // the log then; none when no file held it (or version 1)
    std::optional<FileMark> stats;              // the statistics table then, likewise
    std::vector<CellCode> color, self, other;   // row-major (a graph's: in node order)
    // A world on a graph: its node count and checksum (then shape does not apply).
    struct GraphMark {
        int nodes = 0;
        std::uint64_t checksum = 0;
    };
    std::optional<GraphMark> graph;
};

inline constexpr int kCheckpointNodesPerLine = 64;  // nodes per grid line of a graph's checkpoint

std::string formatCheckpoint(const Checkpoint& checkpoint);

// The lines of the rules in a checkpoint, "competition" to "mutation-pools"
// (each optional line only where it applies); readCheckpoint reads them back.
std::string formatCheckpointRules(const Rules& rules);

// Reads a checkpoint file; false with a one-line error (naming the line where
// it can) when the file cannot be read, is not a checkpoint, is of another
// version, or is damaged.
bool readCheckpoint(const std::string& path, Checkpoint& checkpoint, std::string& error);

}  // namespace talvane
