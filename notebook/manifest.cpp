// Manifests as TOML files, and the SHA-256 of a file.
#include <openssl/evp.h>
#include <toml++/toml.h>

#include <cstdio>
#include <sstream>

#include "notebook/notebook.h"
#include "notebook/store.h"
#include "platform/stdio_file.h"

namespace notebook {

namespace {

constexpr struct {
    Outcome outcome;
    const char* text;
} kOutcomes[] = {
    {Outcome::kCompleted, "completed"},
    {Outcome::kStopped, "stopped"},
    {Outcome::kRefused, "refused"},
    {Outcome::kFailed, "failed"},
};

// The text of `key` in `table`, or nothing when it is missing or not text.
std::optional<std::string> TextOf(const toml::table& table, const char* key) {
    return table[key].value<std::string>();
}

std::optional<std::vector<FileRecord>> FilesOf(const toml::table& table, const char* key) {
    std::vector<FileRecord> files;
    if (!table.contains(key)) {
        return files;
    }
    const toml::array* array = table[key].as_array();
    if (array == nullptr) {
        return std::nullopt;
    }
    for (const toml::node& node : *array) {
        const toml::table* file = node.as_table();
        if (file == nullptr) {
            return std::nullopt;
        }
        const auto path = TextOf(*file, "path");
        const auto sha256 = TextOf(*file, "sha256");
        if (!path || !sha256) {
            return std::nullopt;
        }
        files.push_back({*path, *sha256});
    }
    return files;
}

toml::array ArrayOf(const std::vector<FileRecord>& files) {
    toml::array array;
    for (const FileRecord& file : files) {
        array.push_back(toml::table{{"path", file.path}, {"sha256", file.sha256}});
    }
    return array;
}

}  // namespace

const char* OutcomeText(Outcome outcome) {
    for (const auto& entry : kOutcomes) {
        if (entry.outcome == outcome) {
            return entry.text;
        }
    }
    return "";
}

std::optional<Outcome> OutcomeOf(const std::string& text) {
    for (const auto& entry : kOutcomes) {
        if (text == entry.text) {
            return entry.outcome;
        }
    }
    return std::nullopt;
}

std::string Sha256Of(std::string_view content) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(content.data(), content.size(), digest, &size, EVP_sha256(), nullptr);
    std::string hex;
    for (unsigned int i = 0; i < size; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

std::optional<std::string> Sha256OfFile(const std::filesystem::path& path, std::string& problem) {
    const auto content = platform::ReadWholeFile(path, problem);
    return content ? std::optional(Sha256Of(*content)) : std::nullopt;
}

bool WriteManifest(const std::filesystem::path& path, const Manifest& manifest,
                   std::string& problem) {
    toml::array arguments;
    for (const std::string& argument : manifest.arguments) {
        arguments.push_back(argument);
    }
    toml::table settings;
    for (const Setting& setting : manifest.settings) {
        settings.insert_or_assign(setting.name, setting.value);
    }
    toml::table figures;
    for (const Figure& figure : manifest.figures) {
        figures.insert_or_assign(figure.name, figure.value);
    }
    const toml::table table{
        {"id", manifest.id},
        {"action", manifest.action},
        {"arguments", arguments},
        {"directory", manifest.directory},
        {"started", manifest.started},
        {"ended", manifest.ended},
        {"outcome", OutcomeText(manifest.outcome)},
        {"detail", manifest.detail},
        {"version", manifest.version},
        {"settings", settings},
        {"figures", figures},
        {"inputs", ArrayOf(manifest.inputs)},
        {"outputs", ArrayOf(manifest.outputs)},
    };
    std::ostringstream text;
    text << table << "\n";
    return WriteWhole(path, text.str(), problem);
}

std::optional<Manifest> ReadManifest(const std::filesystem::path& path, std::string& problem) {
    if (const std::string why = platform::ReadWholeProblem(path); !why.empty()) {
        problem = path.string() + ": " + why;
        return std::nullopt;
    }
    toml::table table;
    try {
        table = toml::parse_file(path.string());
    } catch (const toml::parse_error& error) {
        std::ostringstream where;
        where << path.string() << ":" << error.source().begin.line << ": " << error.description();
        problem = where.str();
        return std::nullopt;
    }
    Manifest manifest;
    const std::pair<const char*, std::string*> texts[] = {
        {"id", &manifest.id},
        {"action", &manifest.action},
        {"directory", &manifest.directory},
        {"started", &manifest.started},
        {"ended", &manifest.ended},
        {"detail", &manifest.detail},
        {"version", &manifest.version},
    };
    for (const auto& [key, field] : texts) {
        const auto text = TextOf(table, key);
        if (!text) {
            problem = path.string() + ": '" + key + "' is missing or not text";
            return std::nullopt;
        }
        *field = *text;
    }
    const auto outcome = OutcomeOf(TextOf(table, "outcome").value_or(""));
    if (!outcome) {
        problem = path.string() + ": 'outcome' is not one of completed, stopped, refused, failed";
        return std::nullopt;
    }
    manifest.outcome = *outcome;
    if (const toml::array* arguments = table["arguments"].as_array()) {
        for (const toml::node& argument : *arguments) {
            manifest.arguments.push_back(argument.value<std::string>().value_or(""));
        }
    }
    if (const toml::table* settings = table["settings"].as_table()) {
        for (const auto& [name, value] : *settings) {
            manifest.settings.push_back(
                {std::string(name.str()), value.value<std::string>().value_or("")});
        }
    }
    if (const toml::table* figures = table["figures"].as_table()) {
        for (const auto& [name, value] : *figures) {
            const auto number = value.value<double>();
            if (!number) {
                problem =
                    path.string() + ": figure '" + std::string(name.str()) + "' is not a number";
                return std::nullopt;
            }
            manifest.figures.push_back({std::string(name.str()), *number});
        }
    }
    auto inputs = FilesOf(table, "inputs");
    auto outputs = FilesOf(table, "outputs");
    if (!inputs || !outputs) {
        problem = path.string() + ": a file entry lacks its path or sha256";
        return std::nullopt;
    }
    manifest.inputs = std::move(*inputs);
    manifest.outputs = std::move(*outputs);
    return manifest;
}

}  // namespace notebook
