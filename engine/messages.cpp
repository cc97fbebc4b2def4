#include "messages.h"

#include <algorithm>

namespace dravonel {

namespace {

// kResDravonel and kResAll, generated from the list of messages by scripts/gen_messages.py.
#include "messages_table.inc"

constexpr bool strictlySorted(std::span<const MessageEntry> table) {
    return std::adjacent_find(table.begin(), table.end(),
                              [](const MessageEntry& a, const MessageEntry& b) {
                                  return a.id >= b.id;
                              }) == table.end();
}
static_assert(strictlySorted(kResDravonel), "program messages must be sorted and unique");
static_assert(strictlySorted(kResAll), "common messages must be sorted and unique");

QString lookup(std::span<const MessageEntry> table, int id) {
    auto it = std::lower_bound(table.begin(), table.end(), id,
                               [](const MessageEntry& e, int key) { return e.id < key; });
    if (it == table.end() || it->id != id)
        return QString();
    return QString::fromUtf8(it->text);
}

} // namespace

QString resDravonel(int id) {
    return lookup(kResDravonel, id);
}

QString resAll(int id) {
    return lookup(kResAll, id);
}

std::span<const MessageEntry> resDravonelTable() {
    return kResDravonel;
}

std::span<const MessageEntry> resAllTable() {
    return kResAll;
}

} // namespace dravonel
