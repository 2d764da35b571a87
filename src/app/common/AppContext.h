// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a page or a dialog of the main window works with: the model it shows
// and edits, the link queue its commands go through, and the message boxes.

namespace kyr::app::link {
class LinkWorker;
}

namespace kyr::app {

class TuneModel;
class MessageSink;

struct AppContext {
    TuneModel& model;
    link::LinkWorker& link;
    MessageSink& messages;
};

} // namespace kyr::app
