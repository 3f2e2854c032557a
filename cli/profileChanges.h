#pragma once
// What set and reset share: which profiles a scope reaches under the elevation rule, one change
// at a time per profile, and the reports of what was skipped.
#include "cli/expiryTask.h"
#include "cli/loggingProfiles.h"
#include "cli/textOutput.h"

#include <functional>
#include <string>
#include <vector>

// Whether the process runs elevated (a test can replace the question: setElevationQuery).
bool processIsElevated();

// Every person's profile needs an elevated administrator: without one, says so and returns true.
bool refuseAllUsersWithoutElevation(const std::string& scope, textOutput& err);

// Whether a change of the scope leaves .DEFAULT out: no --scope, and no elevation.
bool skipsDefaultProfile(const std::string& scope, bool scopeGiven);

struct profileChanges {
    bool allChanged = true;
    // Per expiryTarget: whether a profile of that task's scope was changed.
    bool changed[3] = {};
    // The targets among these whose scope had a profile changed (or none changed).
    std::vector<expiryTarget> targets(const std::vector<expiryTarget>& among,
                                      bool wasChanged) const {
        std::vector<expiryTarget> chosen;
        for (const expiryTarget target : among)
            if (changed[static_cast<int>(target)] == wasChanged)
                chosen.push_back(target);
        return chosen;
    }
};

// Calls change for each profile of the scope, one change per profile at a time across
// processes; change reports its own outcome and returns whether it succeeded. .DEFAULT is skipped
// with a warning when skipsDefaultProfile says so; a hive that cannot be mounted is reported and
// counts as a profile not changed.
profileChanges changeProfiles(const std::string& scope, bool scopeGiven, bool withNewUsers,
                              textOutput& out, textOutput& err,
                              const std::function<bool(const loggingProfile&)>& change);
