pragma Singleton
import QtQuick

// Plain values, not child objects: nothing here turns null while the engine tears down.
QtObject {
    id: theme
    objectName: "theme"

    readonly property var colors: Colors
    readonly property var typography: Typography

    readonly property var spacing: ({ tiny: 4, small: 8, normal: 12, medium: 16, large: 24, xlarge: 32, xxlarge: 48 })

    readonly property var radius: ({ none: 0, small: 4, normal: 8, medium: 12, large: 16, round: 999 })

    readonly property var shadows: ({
        none: ({}),
        light: ({ color: "#22000000", radius: 2, horizontalOffset: 0, verticalOffset: 1 }),
        normal: ({ color: "#33000000", radius: 4, horizontalOffset: 0, verticalOffset: 2 }),
        elevated: ({ color: "#44000000", radius: 8, horizontalOffset: 0, verticalOffset: 4 })
    })

    readonly property var animations: ({
        fast: 150,
        normal: 250,
        slow: 350,
        easing: ({
            standard: Easing.OutCubic,
            accelerate: Easing.InCubic,
            decelerate: Easing.OutCubic,
            sharp: Easing.InOutQuad,
            bounce: Easing.OutBounce
        })
    })

    readonly property var components: ({
        card: ({ background: Colors.surface, radius: radius.normal, shadow: shadows.normal, padding: spacing.normal }),
        input: ({ background: Colors.surfaceLight, borderColor: Colors.primary, borderWidth: 1,
                  radius: radius.small, padding: spacing.normal }),
        button: ({ background: Colors.primary, text: Colors.text, padding: spacing.normal })
    })
}
