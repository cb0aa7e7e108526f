import QtQuick

// A "copied" flag that each copy sets and that a timer of its own clears: a second
// copy within the interval starts a second timer, and the first one to end clears it.
QtObject {
    id: flag

    property bool copied: false
    property int interval: 1500

    readonly property Component _timer: Component {
        Timer {}
    }

    function set(): void {
        flag.copied = true
        const timer = flag._timer.createObject(flag, { interval: flag.interval })
        timer.triggered.connect(() => {
            flag.copied = false
            timer.destroy()
        })
        timer.start()
    }
}
