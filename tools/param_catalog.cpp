#include "tools/param_catalog.h"

#include <cstring>

namespace {

std::string joinPath(const std::vector<std::string>& groups) {
    std::string path;
    for (const std::string& group : groups) {
        path += path.empty() ? group : "/" + group;
    }
    return path;
}

// The declared name; the field is 32 bytes and need not be terminated.
std::string declaredName(const PF_ParamDef& def) {
    return std::string(def.name, strnlen(def.name, sizeof def.name));
}

bool isDecimal(const std::string& text) {
    if (text.empty() || text.size() > 9) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

}  // namespace

const char* paramKindName(PF_ParamType type) {
    switch (type) {
    case PF_Param_FLOAT_SLIDER: return "float";
    case PF_Param_SLIDER: return "int";
    case PF_Param_POPUP: return "popup";
    case PF_Param_CHECKBOX: return "checkbox";
    case PF_Param_POINT: return "point";
    case PF_Param_GROUP_START: return "group_start";
    case PF_Param_GROUP_END: return "group_end";
    default: return "other";
    }
}

std::vector<std::string> splitPopupItems(const char* items) {
    std::vector<std::string> result;
    if (items == nullptr) {
        return result;
    }
    const char* start = items;
    for (const char* c = items;; ++c) {
        if (*c == '|' || *c == '\0') {
            result.emplace_back(start, static_cast<size_t>(c - start));
            if (*c == '\0') {
                break;
            }
            start = c + 1;
        }
    }
    return result;
}

std::vector<ParamInfo> buildParamCatalog(const std::vector<PF_ParamDef>& declared) {
    std::vector<ParamInfo> catalog;
    std::vector<std::string> openGroups;
    for (size_t i = 0; i < declared.size(); ++i) {
        const PF_ParamDef& def = declared[i];
        ParamInfo info;
        info.id = static_cast<int32_t>(i + 1);
        info.name = declaredName(def);
        info.kind = paramKindName(def.param_type);
        info.def = def;
        info.group = joinPath(openGroups);
        if (def.param_type == PF_Param_POPUP) {
            info.items = splitPopupItems(def.u.pd.u.namesptr);
        } else if (def.param_type == PF_Param_GROUP_START) {
            openGroups.push_back(info.name);
        } else if (def.param_type == PF_Param_GROUP_END && !openGroups.empty()) {
            openGroups.pop_back();   // a stray end (unbalanced module) is tolerated
        }
        catalog.push_back(std::move(info));
    }
    return catalog;
}

std::string paramPath(const ParamInfo& info) {
    return info.group.empty() ? info.name : info.group + "/" + info.name;
}

std::map<std::string, int32_t> paramPathMap(const std::vector<ParamInfo>& catalog) {
    std::map<std::string, int32_t> paths;
    for (const ParamInfo& info : catalog) {
        if (!info.name.empty()) {
            paths.emplace(paramPath(info), info.id);   // the first of equal paths wins
        }
    }
    return paths;
}

int32_t findParamId(const std::vector<ParamInfo>& catalog, const std::string& key) {
    if (isDecimal(key)) {
        int32_t id = std::stoi(key);
        return id >= 1 && id <= static_cast<int32_t>(catalog.size()) ? id : 0;
    }
    auto paths = paramPathMap(catalog);
    auto found = paths.find(key);
    return found == paths.end() ? 0 : found->second;
}
