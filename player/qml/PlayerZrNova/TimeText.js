.pragma library

// Time texts shared by the views. A library script has no context: callers pass the
// selected day themselves.

function pad2(n) {
    return (n < 10 ? "0" : "") + n
}

// The seek text for a time of the selected day ("yyyy-MM-dd", or empty when none). A bare
// number would be misread by the controller (six digits pass for "HHmmss"), so a seek goes
// as the full date and time of the day (the next day past midnight), or as zero-padded
// "HHmmss" when no day is known.
function seekText(ms, dayText) {
    var t = Math.max(0, Math.floor(ms))
    var days = Math.floor(t / 86400000)
    var rest = t - days * 86400000
    var total = Math.floor(rest / 1000)
    var hms = pad2(Math.floor(total / 3600)) + pad2(Math.floor(total / 60) % 60) + pad2(total % 60)
    var parts = /^(\d{4})-(\d{2})-(\d{2})$/.exec(String(dayText))
    if (!parts)
        return days > 0 ? "235959" : hms
    // Noon: a day whose midnight falls in a daylight-saving gap is still that day.
    var d = new Date(parseInt(parts[1], 10), parseInt(parts[2], 10) - 1, parseInt(parts[3], 10) + days, 12)
    return d.getFullYear() + pad2(d.getMonth() + 1) + pad2(d.getDate()) + hms
}
