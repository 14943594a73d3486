// One file named two ways: outputs and inputs are compared as files (device
// and inode when the file exists, the real folder and the name otherwise),
// so that "./x.csv", "x.csv", an absolute path and a link to it all clash.
#pragma once

#include <string>
#include <vector>

namespace talvane {

// A file the command line names, with the option that names it.
struct NamedFile {
    std::string option;  // "--log", "--save", "--snapshot", "--load"
    std::string path;    // as given; "-" for standard output
};

// True when no two of files are the same file; otherwise false, with error
// naming both options. An empty path takes part in no clash.
bool filesAreDistinct(const std::vector<NamedFile>& files, std::string& error);

// True when the checkpoint a run resumes from is none of files except the
// new checkpoint (which may replace it: the old one is read before the run);
// otherwise false with error.
bool resumeIsNoOtherOutput(const std::vector<NamedFile>& files, const std::string& resumePath, std::string& error);

// For K numbered runs: true when none of the numbered names of outputs (run
// 1..runs, see numberedPath) is the input file; otherwise false with error.
bool inputOutsideNumberedOutputs(const NamedFile& input, const std::vector<NamedFile>& outputs, int runs,
                                 std::string& error);

// True when name is that of a picture --frames writes: "gen-", six or more
// digits, ".png".
bool isFrameName(const std::string& name);

// True when none of files lies in the frames folder dir under a frame's
// name (which a run may write, or remove with the old frames); otherwise
// false with error naming the option.
bool outsideFramesFolder(const std::string& dir, const std::vector<NamedFile>& files, std::string& error);

}  // namespace talvane
