pragma Singleton
import QtQuick

// Plain values, not child objects: nothing here turns null while the engine tears down.
QtObject {
    id: typography
    objectName: "typography"

    readonly property var fontSize: ({ tiny: 10, small: 12, normal: 14, medium: 16, large: 18, xlarge: 20,
                                       xxlarge: 24, huge: 32 })

    readonly property var fontWeight: ({ light: Font.Light, normal: Font.Normal, medium: Font.Medium,
                                         demiBold: Font.DemiBold, bold: Font.Bold })

    readonly property string fontFamily: "Helvetica, Arial, sans-serif"
    readonly property string monospaceFontFamily: "Courier New, monospace"

    readonly property var heading: ({
        h1: ({ size: fontSize.huge, weight: fontWeight.bold, lineHeight: 1.2 }),
        h2: ({ size: fontSize.xxlarge, weight: fontWeight.bold, lineHeight: 1.25 }),
        h3: ({ size: fontSize.xlarge, weight: fontWeight.demiBold, lineHeight: 1.3 })
    })

    readonly property var body: ({
        regular: ({ size: fontSize.normal, weight: fontWeight.normal, lineHeight: 1.5 }),
        small: ({ size: fontSize.small, weight: fontWeight.normal, lineHeight: 1.4 })
    })

    readonly property var button: ({ size: fontSize.normal, weight: fontWeight.medium, letterSpacing: 0.5 })
    readonly property var caption: ({ size: fontSize.small, weight: fontWeight.normal, letterSpacing: 0.4 })
}
