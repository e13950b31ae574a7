// Keys: entry, result (ok | error), glsl / not-glsl (text the GLSL must / must not hold),
// constants (the constant register count), sampler (GLSL name, unit, 2D | 3D | CUBE), samplers,
// input (GLSL name, type, semantic, index), inputs, message / not-message (text the messages must /
// must not hold),
// const (cN x y z w for the rendered check), pixel (x y r g b a on an 8 x 8 target).
#include "corpus.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

std::vector<CorpusCase> load_corpus()
{
    std::vector<CorpusCase> cases;
    for (const auto& entry : std::filesystem::directory_iterator(FXCOMPILER_CORPUS)) {
        if (entry.path().extension() != ".fx") continue;
        CorpusCase c;
        c.name = entry.path().stem().string();
        std::ifstream file(entry.path(), std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        c.source = text.str();
        std::istringstream lines(c.source);
        std::string line;
        while (std::getline(lines, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.compare(0, 4, "//! ") != 0) continue;
            std::size_t colon = line.find(": ");
            std::string key = line.substr(4, colon - 4), value = line.substr(colon + 2);
            std::istringstream in(value);
            if (key == "entry") c.entry = value;
            else if (key == "result") c.expect_ok = value == "ok";
            else if (key == "glsl") c.glsl.push_back(value);
            else if (key == "not-glsl") c.not_glsl.push_back(value);
            else if (key == "message") c.messages.push_back(value);
            else if (key == "not-message") c.not_messages.push_back(value);
            else if (key == "sampler") c.samplers.push_back(value);
            else if (key == "input") c.inputs.push_back(value);
            else if (key == "constants") in >> c.constants;
            else if (key == "samplers") in >> c.sampler_count;
            else if (key == "inputs") in >> c.input_count;
            else if (key == "const") {
                ConstantSetting s;
                char letter;
                in >> letter >> s.reg >> s.value[0] >> s.value[1] >> s.value[2] >> s.value[3];
                c.constant_settings.push_back(s);
            } else if (key == "pixel") {
                PixelExpectation p;
                std::string v[4];
                in >> p.x >> p.y >> v[0] >> v[1] >> v[2] >> v[3];
                for (int k = 0; k < 4; ++k) p.rgba[k] = std::strtof(v[k].c_str(), nullptr);  // takes inf, nan
                c.pixels.push_back(p);
            } else if (key == "tolerance") {
                in >> c.tolerance;
            }
        }
        cases.push_back(c);
    }
    std::sort(cases.begin(), cases.end(), [](const CorpusCase& a, const CorpusCase& b) { return a.name < b.name; });
    return cases;
}

void PrintTo(const CorpusCase& c, std::ostream* out) { *out << c.name << ".fx"; }
