#include "app/settings_change.h"

#include <vector>

namespace brevalt {

namespace {

struct Field {
    const char* name;
    std::string value;
};

std::vector<Field> fields_of(const Settings& settings) {
    return {{"rotation time", settings.rotation_time},
            {"keep", settings.keeping.keep_dates == 0 ? "off" : std::to_string(settings.keeping.keep_dates)},
            {"compress", settings.keeping.compress ? "yes" : "no"},
            {"metrics", settings.metrics_path.empty() ? "off" : settings.metrics_path}};
}

}  // namespace

std::string settings_changes(const Settings& before, const Settings& after) {
    const std::vector<Field> old_fields = fields_of(before);
    const std::vector<Field> new_fields = fields_of(after);
    std::string text;
    for (std::size_t i = 0; i < old_fields.size(); ++i) {
        if (old_fields[i].value == new_fields[i].value) continue;
        if (!text.empty()) text += ", ";
        text += std::string(old_fields[i].name) + " " + old_fields[i].value + " → " + new_fields[i].value;
    }
    return text;
}

std::string settings_summary(const Settings& settings) {
    std::string text;
    for (const Field& field : fields_of(settings)) {
        if (!text.empty()) text += ", ";
        text += std::string(field.name) + " " + field.value;
    }
    return text;
}

}  // namespace brevalt
