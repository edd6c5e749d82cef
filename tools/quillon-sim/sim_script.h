// quillon-sim's scripts of user actions and its JSON-lines transcript.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

struct ScriptStep {
    std::string verb;  // select, run, answer, wait, close, show, sleep, unplug, plug
    std::string arg;
    int line = 0;
};

// One action per line: "select N", "run", "answer yes|no|ok|cancel", "wait",
// "close", "show", "sleep SECONDS", "unplug NAME", "plug NAME"; "#" starts a
// comment. false with "<line>: <verb>: <message>".
bool ParseScript(const std::string& text, std::vector<ScriptStep>* steps, std::string* error);
const char* DefaultScript();

// The transcript: one JSON object per line, {"t": virtual ms, "event": ...}.
// Thread-safe; a null file writes nothing.
void TranscriptOpen(FILE* file);
void TranscriptEvent(const std::string& event, const std::string& fields);  // fields: ,"k":v ...
// The same at a given virtual time (a request's own).
void TranscriptEventAt(unsigned long long tick, const std::string& event, const std::string& fields);
// errno of the first write to the open transcript that failed; 0: none.
int TranscriptWriteError();
std::string JsonString(const std::string& utf8);
std::string JsonHex(const std::vector<unsigned char>& bytes);
