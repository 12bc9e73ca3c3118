// The effect's parameters as the `corvexel` command sees them: each declared
// definition with the path of the groups that enclose it, so a parameter can
// be named by that path ("Channel Glitch/Channel Split/Channel") as well as
// by its id.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sdk/pf_types.h"

struct ParamInfo {
    int32_t id = 0;
    std::string group;               // enclosing group names joined by "/", "" at top level
    std::string name;                // as declared; "" for group ends and unnamed points
    const char* kind = "";           // float, int, popup, checkbox, point, group_start,
                                     // group_end, or other
    std::vector<std::string> items;  // popup items in order (separators included)
    PF_ParamDef def{};               // the declaration as the host received it
};

// Builds the catalog from the declarations in id order (declared[0] is id 1).
// A group end belongs to the group it closes.
std::vector<ParamInfo> buildParamCatalog(const std::vector<PF_ParamDef>& declared);

// "group/name" (or just "name" at top level) for a parameter.
std::string paramPath(const ParamInfo& info);

// Path to id for every named parameter (group starts included).
std::map<std::string, int32_t> paramPathMap(const std::vector<ParamInfo>& catalog);

// Finds a parameter by path or by decimal id; returns 0 when none matches.
int32_t findParamId(const std::vector<ParamInfo>& catalog, const std::string& key);

// The kind name of a host parameter type.
const char* paramKindName(PF_ParamType type);

// Splits a "|"-separated popup item string.
std::vector<std::string> splitPopupItems(const char* items);
