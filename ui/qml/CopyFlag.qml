pragma ComponentBehavior: Bound
import QtQuick

// A "copied" flag that each copy sets and that a timer of its own clears: a second
// copy within the interval starts a second timer, and the first one to end clears it.
QtObject {
    id: flag

    property bool copied: false
    property int interval: 1500

    function set(): void {
        flag.copied = true
        // Made from text: on Qt 6.4 a bound inline Component cannot be created from here.
        const timer = Qt.createQmlObject("import QtQuick; Timer {}", flag)
        timer.interval = flag.interval
        timer.triggered.connect(() => {
            flag.copied = false
            timer.destroy()
        })
        timer.start()
    }
}
