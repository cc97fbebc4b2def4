#include "lzh_methods.h"

namespace lha {

namespace {

// The methods -o chooses from, by the digit their ids hold ("-o6": -lh6-).
constexpr const Method* kCoded[] = {&kLh5, &kLh6, &kLh7};
constexpr const Method* kAll[] = {&kStored, &kLh5, &kLh6, &kLh7, &kFolder};

} // namespace

const Method* methodOfId(std::string_view id) {
    for (const Method* m : kAll)
        if (m->id == id)
            return m;
    return nullptr;
}

const Method* methodOfSwitch(std::string_view option) {
    if (option.size() != 3 || option.substr(0, 2) != "-o")
        return nullptr;
    for (const Method* m : kCoded)
        if (m->id[3] == option[2])
            return m;
    return nullptr;
}

bool looksLikeMethodId(const char* field) {
    return field[0] == '-' && field[4] == '-';
}

} // namespace lha
