#pragma once

// The bundle of user-interaction services handed to windows and flows, so one
// argument carries them all. The owner (the application, or a test fixture)
// keeps the objects alive; nothing here is a global.

class IMessageService;
class IFileDialogService;
class IClipboardService;
class IClock;

struct TServices {
    IMessageService* messages = nullptr;
    IFileDialogService* fileDialogs = nullptr;
    IClipboardService* clipboard = nullptr;
    IClock* clock = nullptr;
};
