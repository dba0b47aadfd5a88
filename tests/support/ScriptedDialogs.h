// A Dialogs implementation for tests: records every question and notice and answers from a
// script the test sets up. An unexpected question fails the test instead of hanging.
#pragma once

#include "core/ui/Dialogs.h"

#include <deque>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kestrix::test {

class ScriptedDialogs : public Dialogs {
public:
    std::vector<std::string> asked;    // questions, in order
    std::vector<std::string> messages; // notices, in order
    std::vector<FileDialogOptions> fileDialogs;
    std::deque<Answer> answers;
    std::deque<std::optional<std::string>> files;

    bool askYesNo(const std::string& text, MessageIcon) override {
        return next(text) == Answer::Yes;
    }
    Answer askYesNoCancel(const std::string& text) override { return next(text); }
    void showMessage(const std::string& text, MessageIcon) override { messages.push_back(text); }
    std::optional<std::string> openFile(const FileDialogOptions& o) override { return file(o); }
    std::optional<std::string> saveFile(const FileDialogOptions& o) override { return file(o); }
    std::optional<std::string> chooseFolder(const FileDialogOptions& o) override { return file(o); }

private:
    Answer next(const std::string& text) {
        asked.push_back(text);
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << text;
            return Answer::Cancel;
        }
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<std::string> file(const FileDialogOptions& o) {
        fileDialogs.push_back(o);
        if (files.empty()) {
            ADD_FAILURE() << "unexpected file dialog: " << o.title;
            return std::nullopt;
        }
        auto f = files.front();
        files.pop_front();
        return f;
    }
};

} // namespace kestrix::test
