#pragma once
// A file dialog that records what it was asked and answers with a set path
// (empty: the user cancels).

#include "app/FileDialogs.h"

#include <string>
#include <vector>

struct FakeFileDialogs : IFileDialogs {
    std::string answer;
    std::vector<TFileDialogRequest> asked;
    bool Execute(const TFileDialogRequest& request, std::string& path) override {
        asked.push_back(request);
        if (answer.empty())
            return false;
        path = answer;
        return true;
    }
};
