// strict_json.cpp - a SAX reader that builds the value itself, so that it
// sees every key of every object.
#include "document/strict_json.h"

#include "base/escaped.h"

#include <list>
#include <set>

namespace entmlst {
namespace {

// The settings document nests four deep; anything far deeper is not one.
constexpr std::size_t kMaxDepth = 32;

class Builder {
public:
    explicit Builder(std::vector<Problem> &problems) : problems_(problems) {}
    Json root;

    bool null() { return put(nullptr); }
    bool boolean(bool v) { return put(v); }
    bool number_integer(Json::number_integer_t v) { return put(v); }
    bool number_unsigned(Json::number_unsigned_t v) { return put(v); }
    bool number_float(Json::number_float_t v, const std::string &) { return put(v); }
    bool string(std::string &v) { return put(std::move(v)); }
    bool binary(Json::binary_t &) { return false; } // not in JSON text
    bool start_object(std::size_t) { return open(Json::object()); }
    bool start_array(std::size_t) { return open(Json::array()); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    bool key(std::string &k) {
        Level &l = levels_.back();
        l.duplicate = !l.keys.insert(k).second;
        if (l.duplicate) problems_.push_back({l.pointer + pointerToken(k), "key given more than once"});
        key_ = std::move(k);
        return true;
    }

    bool parse_error(std::size_t, const std::string &, const nlohmann::json::exception &e) {
        // "[json.exception.parse_error.101] parse error at line 2, column 5: ..."
        std::string what = e.what();
        auto close = what.find("] ");
        problems_.push_back(
            {"", "not JSON: " + (close == std::string::npos ? what : what.substr(close + 2))});
        return false;
    }

private:
    struct Level {
        Json *value;
        std::string pointer;
        std::set<std::string> keys;
        bool duplicate = false;
    };
    std::vector<Problem> &problems_;
    std::vector<Level> levels_;
    std::string key_;
    std::list<Json> dropped_; // values of repeated keys, parsed but not kept

    // Places v in the open container (or as the root); returns where it went
    // and its pointer. A parent gains no members while a child is open, so
    // the addresses on the stack stay valid.
    std::pair<Json *, std::string> place(Json v) {
        if (levels_.empty()) {
            root = std::move(v);
            return {&root, ""};
        }
        Level &l = levels_.back();
        if (l.value->is_array()) {
            std::string ptr = l.pointer + pointerToken(std::to_string(l.value->size()));
            l.value->push_back(std::move(v));
            return {&l.value->back(), ptr};
        }
        std::string ptr = l.pointer + pointerToken(key_);
        if (l.duplicate) {
            dropped_.push_back(std::move(v));
            return {&dropped_.back(), ptr};
        }
        Json &slot = (*l.value)[key_];
        slot = std::move(v);
        return {&slot, ptr};
    }
    bool put(Json v) {
        place(std::move(v));
        return true;
    }
    bool open(Json empty) {
        auto [where, ptr] = place(std::move(empty));
        if (levels_.size() == kMaxDepth) {
            problems_.push_back({ptr, "nested more than " + std::to_string(kMaxDepth) + " deep"});
            return false;
        }
        levels_.push_back({where, ptr, {}, false});
        return true;
    }
    bool close() {
        levels_.pop_back();
        return true;
    }
};

} // namespace

std::string pointerToken(std::string_view token) {
    // Appended rather than "/" + ...: GCC 12's -O3 misreads that insert as an overlapping copy.
    std::string out = "/";
    out += escaped(token, {{'~', "~0"}, {'/', "~1"}});
    return out;
}

std::optional<Json> parseStrict(std::string_view text, std::vector<Problem> &problems) {
    Builder b(problems);
    if (!Json::sax_parse(text, &b, Json::input_format_t::json, true)) return std::nullopt;
    return std::move(b.root);
}

} // namespace entmlst
