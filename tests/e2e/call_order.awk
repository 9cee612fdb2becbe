# Checks the order of the camera library calls in a simulated camera's call
# log. Prints each broken rule and exits 1 if any.
#   awk -f call_order.awk camera.log

function value(key,    i, n, parts) {
    n = split($0, parts, " ")
    for (i = 1; i <= n; i++)
        if (index(parts[i], key "=") == 1)
            return substr(parts[i], length(key) + 2)
    return ""
}
function broken(rule) {
    printf "line %d: %s\n    %s\n", NR, rule, $0
    faults++
}
function succeeded() { return $0 ~ / -> 0( |$)/ }

/^VRX4K_/ {
    calls++
    if (calls == 1 && $1 != "VRX4K_Init")
        broken("the first call is not VRX4K_Init")
    if (exited)
        broken("a call after VRX4K_Exit")
    lastCall = $1
}
$1 == "VRX4K_Detect" && succeeded() { detected = 1 }
$1 == "VRX4K_Open" {
    if (!detected)
        broken("Open before a successful Detect")
    if (value("callback") == "no") {
        if (connected)
            broken("a camera probed after one was connected")
        if (probing != "")
            broken("Open while camera " probing " is still probed")
        if (succeeded())
            probing = value("handle")
    } else {
        if (probing != "")
            broken("connected while a probe is still open")
        if (succeeded())
            connected = value("handle")
    }
}
$1 == "VRX4K_GetDeviceInfo" {
    if (probing == "" || value("handle") != probing)
        broken("GetDeviceInfo on a camera that is not being probed")
    described[probing] = 1
}
$1 == "VRX4K_Close" && value("handle") == probing {
    if (!described[probing])
        broken("a probe closed without GetDeviceInfo")
    probing = ""
}
$1 == "VRX4K_Shoot" && (connected == "" || value("handle") != connected) {
    broken("Shoot before the camera was opened with the callback")
}
$1 == "VRX4K_ReadImageInfo" {
    info = succeeded() ? value("size") : ""
}
$1 == "VRX4K_ReadImage" {
    if (info == "")
        broken("ReadImage without a ReadImageInfo before it")
    else if (value("size") != info)
        broken("ReadImage asks for " value("size") " bytes, ReadImageInfo described " info)
    info = ""
}
$1 == "VRX4K_Exit" { exited = 1 }

END {
    if (calls == 0)
        broken("no call logged")
    else if (lastCall != "VRX4K_Exit")
        broken("the last call is " lastCall ", not VRX4K_Exit")
    exit faults > 0
}
