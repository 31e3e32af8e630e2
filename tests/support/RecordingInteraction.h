// A test double for the interaction seam: records every message and cursor change, and answers
// questions and pickers from scripts.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "UserInteraction.h"
#include "Words.h"

namespace korvale::test {

class RecordingInteraction : public UserInteraction {
public:
    struct Message {
        std::string text;
        MessageIcon icon;
        bool operator==(const Message& other) const {
            return text == other.text && icon == other.icon;
        }
    };

    // Messages are recorded in their Japanese words, as a Japanese user sees them.
    void ShowMessage(const korvale::Message& message, MessageIcon icon) override {
        const std::string text = Words(message, UiLanguage::Japanese);
        messages.push_back({text, icon});
        events.push_back("message:" + text);
    }
    void ShowDetailedMessage(const korvale::Message& text, const korvale::Message& detail,
                             MessageIcon icon) override {
        ShowMessage(text, icon);
        details.push_back(Words(detail, UiLanguage::Japanese));
    }
    void BeginWaitCursor() override {
        ++waitDepth;
        ++waitBegins;
        events.push_back("wait+");
    }
    void EndWaitCursor() override {
        --waitDepth;
        events.push_back("wait-");
    }
    OverwriteChoice AskOverwrite(const korvale::Message& shown) override {
        const std::string path = Words(shown, UiLanguage::Japanese);
        asked.push_back(path);
        events.push_back("ask:" + path);
        if (overwriteAnswers.empty()) {
            return OverwriteChoice::Cancel;
        }
        const OverwriteChoice answer = overwriteAnswers.front();
        overwriteAnswers.pop_front();
        return answer;
    }
    bool AskCreateFolder(const std::string& folder) override {
        events.push_back("create?:" + folder);
        return createFolderAnswer;
    }
    void ReportDamagedSources(const std::vector<std::string>& paths) override {
        damagedReports.push_back(paths);
        events.push_back("damaged:" + std::to_string(paths.size()));
    }
    void PumpEvents() override {
        ++pumps;
        events.push_back("pump");
        if (onPump) {
            onPump(pumps);
        }
    }
    std::optional<std::vector<std::string>> ChooseImageFiles() override { return chosenFiles; }
    std::optional<Rgb> ChooseColour(const Rgb& initial) override {
        colourAskedWith = initial;
        return chosenColour;
    }
    std::optional<std::string> ChooseFolder(const std::string& startFolder,
                                            const std::string& title) override {
        folderAskedAt = startFolder;
        folderTitle = title;
        return chosenFolder;
    }

    // The completion message is recorded as a message too, so that its order shows.
    bool ShowRunCompleted(const korvale::Message& text, const RunSummary& summary) override {
        completions.push_back(summary);
        ShowMessage(text, MessageIcon::Information);
        return openFolderAnswer;
    }
    void OpenFolder(const std::string& folder) override { openedFolders.push_back(folder); }
    void NotifyRunEnded(const korvale::Message& text, double seconds) override {
        runEndNotices.push_back(Words(text, UiLanguage::Japanese));
        (void)seconds;
    }
    bool FolderWalkProgress(size_t found) override {
        walkReports.push_back(found);
        return !stopWalkAt || found < *stopWalkAt;
    }
    void EndFolderWalk() override { ++walkEnds; }

    std::vector<std::string> MessageTexts() const {
        std::vector<std::string> texts;
        for (const Message& m : messages) {
            texts.push_back(m.text);
        }
        return texts;
    }

    // Records.
    std::vector<Message> messages;
    std::vector<std::string> events;
    std::vector<std::string> details;  // of the detailed messages, in order
    std::vector<std::string> asked;
    int waitDepth = 0;
    int waitBegins = 0;
    int pumps = 0;
    std::vector<std::vector<std::string>> damagedReports;
    std::optional<Rgb> colourAskedWith;
    std::optional<std::string> folderAskedAt;
    std::string folderTitle;
    std::vector<RunSummary> completions;
    std::vector<std::string> openedFolders;
    std::vector<std::string> runEndNotices;
    std::vector<size_t> walkReports;
    int walkEnds = 0;

    // Scripts.
    std::deque<OverwriteChoice> overwriteAnswers;  // Cancel once exhausted
    std::function<void(int pumpCount)> onPump;
    bool createFolderAnswer = false;
    std::optional<std::vector<std::string>> chosenFiles;
    std::optional<Rgb> chosenColour;
    std::optional<std::string> chosenFolder;
    bool openFolderAnswer = false;
    std::optional<size_t> stopWalkAt;  // the walk is stopped at the first report of this many
};

}  // namespace korvale::test
