#ifndef MOX_CHECK_PROBLEM_H
#define MOX_CHECK_PROBLEM_H

#include <string>
#include <vector>

// One broken rule that an integrity check found: where ("table PEOPLE page 3
// slot 2", "index PEOPLE_ID page 7") and what, in short stable English that
// front ends print as "<place>: <text>".
struct MoxCheckProblem {
    std::string place;
    std::string text;

    bool operator==(const MoxCheckProblem& other) const = default;
    std::string line() const { return place + ": " + text; }
};

typedef std::vector<MoxCheckProblem> MoxCheckProblems;

#endif
