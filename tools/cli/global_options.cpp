// global_options.cpp - the global options on the command line.
#include "cli/global_options.h"

namespace entmlst {
namespace {

const GlobalOption *named(const std::string &word) {
    for (const GlobalOption *o : kGlobalOptions)
        if (word == o->name) return o;
    return nullptr;
}

// "--device=FILE": the option and its value in one word.
const GlobalOption *withValue(const std::string &word) {
    for (const GlobalOption *o : kGlobalOptions)
        if (o->value_name != nullptr && word.rfind(std::string(o->name) + "=", 0) == 0) return o;
    return nullptr;
}

CLI::Option *add(CLI::App &app, const GlobalOption &o, auto &value) {
    return app.add_option(o.name, value, o.help)->type_name(o.value_name)->allow_extra_args(false);
}

} // namespace

void addGlobals(CLI::App &app, Globals &g) {
    add(app, kDeviceOption, g.device.device);
    app.add_flag(kJsonOption.name, g.json, kJsonOption.help);
    add(app, kFailOption, g.device.fails);
}

bool given(const CLI::App &app, const GlobalOption &option) {
    return app.get_option(option.name)->count() > 0;
}

bool takesNextWord(const std::string &word) {
    const GlobalOption *o = named(word);
    return o != nullptr && o->value_name != nullptr;
}

std::size_t leadingGlobals(const std::vector<std::string> &words) {
    std::size_t n = 0;
    while (n < words.size() && (named(words[n]) != nullptr || withValue(words[n]) != nullptr))
        n += takesNextWord(words[n]) ? 2 : 1;
    return n;
}

std::string leadingValue(const std::vector<std::string> &words, std::size_t n, const GlobalOption &option) {
    std::string value;
    const std::string joined = std::string(option.name) + "=";
    for (std::size_t i = 0; i < n && i < words.size(); ++i)
        if (words[i] == option.name && i + 1 < n)
            value = words[i + 1];
        else if (words[i].rfind(joined, 0) == 0)
            value = words[i].substr(joined.size());
    return value;
}

std::string globalOptionsText(const CLI::App &app) {
    std::string text = "Global options:\n";
    for (const GlobalOption *g : kGlobalOptions) {
        const CLI::Option *opt = app.get_option(g->name);
        std::string name = opt->get_name() + (opt->get_type_name().empty() ? "" : " " + opt->get_type_name());
        text += "  " + name + std::string(name.size() < 28 ? 28 - name.size() : 1, ' ') +
                opt->get_description() + "\n";
    }
    return text + "\n";
}

} // namespace entmlst
