// The JSON of POST /render: every label with its size and the elements as
// drawn, the notes with their lines; and the notes as one header line.
#pragma once

#include <string>
#include <vector>

#include "label_model.h"
#include "render_query.h"

namespace qovemu {

struct RenderNote {
    long long line = 0;
    std::string text;
    bool error = false;
};

struct RenderedLabel {
    std::string form;
    long long copies = 1;
    long long line = 0;
    int width = 0, height = 0;
    std::string summary;
    std::vector<qovrender::DrawnElement> elements;
};

std::string describeLabels(const RenderQuery& query, const std::vector<RenderedLabel>& labels,
                           const std::vector<RenderNote>& notes);

// {"error": ...} and, when given, the notes.
std::string errorBody(const std::string& error, const std::vector<RenderNote>* notes = nullptr);

// `LINE: text` joined by "; ", printable ASCII only (any other byte as
// \xNN, so no header can be forged), cut at `maxBytes` with "...".
std::string notesHeader(const std::vector<RenderNote>& notes, std::size_t maxBytes);

}  // namespace qovemu
