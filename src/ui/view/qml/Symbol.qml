import QtQuick

// The few symbols the views use, drawn as paths so they look the same with any icon theme.
Canvas {
    id: symbol
    property string name
    property color color: "white"
    property real weight: 2
    implicitWidth: 16
    implicitHeight: 16
    onNameChanged: requestPaint()
    onColorChanged: requestPaint()
    onWidthChanged: requestPaint()
    onHeightChanged: requestPaint()

    onPaint: {
        const ctx = getContext("2d");
        ctx.reset();
        const w = width, h = height;
        ctx.strokeStyle = color;
        ctx.fillStyle = color;
        ctx.lineWidth = weight;
        ctx.lineCap = "round";
        ctx.lineJoin = "round";
        switch (name) {
        case "pin.fill":
            ctx.beginPath();
            ctx.moveTo(w * 0.32, h * 0.08); ctx.lineTo(w * 0.68, h * 0.08);
            ctx.lineTo(w * 0.62, h * 0.42); ctx.lineTo(w * 0.80, h * 0.60);
            ctx.lineTo(w * 0.20, h * 0.60); ctx.lineTo(w * 0.38, h * 0.42);
            ctx.closePath(); ctx.fill();
            ctx.beginPath(); ctx.moveTo(w * 0.5, h * 0.60); ctx.lineTo(w * 0.5, h * 0.95); ctx.stroke();
            break;
        case "chevron.right.2":
            for (const x of [0.22, 0.52]) {
                ctx.beginPath();
                ctx.moveTo(w * x, h * 0.2); ctx.lineTo(w * (x + 0.26), h * 0.5); ctx.lineTo(w * x, h * 0.8);
                ctx.stroke();
            }
            break;
        case "checkmark":
            ctx.beginPath();
            ctx.moveTo(w * 0.18, h * 0.52); ctx.lineTo(w * 0.42, h * 0.76); ctx.lineTo(w * 0.84, h * 0.26);
            ctx.stroke();
            break;
        case "keyboard": {
            const r = h * 0.12;
            ctx.beginPath();
            ctx.roundedRect(w * 0.04, h * 0.2, w * 0.92, h * 0.6, r, r);
            ctx.stroke();
            const cols = 8, rows = 2, kw = w * 0.075, gap = (w * 0.8 - cols * kw) / (cols - 1);
            for (let row = 0; row < rows; ++row)
                for (let c = 0; c < cols; ++c)
                    ctx.fillRect(w * 0.1 + c * (kw + gap), h * (0.3 + row * 0.14), kw, h * 0.08);
            ctx.fillRect(w * 0.28, h * 0.62, w * 0.44, h * 0.08);
            break;
        }
        case "exclamationmark.triangle.fill": {
            const r = w * 0.08;
            ctx.beginPath();
            ctx.moveTo(w * 0.5, h * 0.06);
            ctx.lineTo(w * 0.97, h * 0.9); ctx.lineTo(w * 0.03, h * 0.9);
            ctx.closePath();
            ctx.lineWidth = r * 1.5;
            ctx.stroke(); ctx.fill();
            // The mark is cut out of the triangle, so it shows what lies behind.
            ctx.globalCompositeOperation = "destination-out";
            ctx.fillRect(w * 0.45, h * 0.34, w * 0.1, h * 0.3);
            ctx.beginPath(); ctx.arc(w * 0.5, h * 0.76, w * 0.06, 0, 2 * Math.PI); ctx.fill();
            ctx.globalCompositeOperation = "source-over";
            break;
        }
        case "music.note":
            ctx.beginPath();
            ctx.ellipse(w * 0.14, h * 0.66, w * 0.40, h * 0.30); ctx.fill();
            ctx.fillRect(w * 0.44, h * 0.08, w * 0.11, h * 0.74);
            ctx.beginPath();
            ctx.moveTo(w * 0.44, h * 0.08); ctx.lineTo(w * 0.86, h * 0.22); ctx.lineTo(w * 0.86, h * 0.40);
            ctx.lineTo(w * 0.55, h * 0.30); ctx.closePath(); ctx.fill();
            break;
        case "play.fill":
            ctx.beginPath();
            ctx.moveTo(w * 0.18, h * 0.08); ctx.lineTo(w * 0.90, h * 0.5); ctx.lineTo(w * 0.18, h * 0.92);
            ctx.closePath(); ctx.fill();
            break;
        case "pause.fill":
            ctx.fillRect(w * 0.18, h * 0.08, w * 0.22, h * 0.84);
            ctx.fillRect(w * 0.60, h * 0.08, w * 0.22, h * 0.84);
            break;
        case "backward.fill":
        case "forward.fill":
            // Two triangles pointing the same way, side by side.
            for (const x of [0.0, 0.48]) {
                ctx.beginPath();
                if (name === "forward.fill") {
                    ctx.moveTo(w * (x + 0.02), h * 0.16); ctx.lineTo(w * (x + 0.50), h * 0.5);
                    ctx.lineTo(w * (x + 0.02), h * 0.84);
                } else {
                    ctx.moveTo(w * (x + 0.50), h * 0.16); ctx.lineTo(w * (x + 0.02), h * 0.5);
                    ctx.lineTo(w * (x + 0.50), h * 0.84);
                }
                ctx.closePath(); ctx.fill();
            }
            break;
        case "bolt.fill":
            ctx.beginPath();
            ctx.moveTo(w * 0.60, h * 0.02); ctx.lineTo(w * 0.18, h * 0.56); ctx.lineTo(w * 0.48, h * 0.56);
            ctx.lineTo(w * 0.38, h * 0.98); ctx.lineTo(w * 0.82, h * 0.42); ctx.lineTo(w * 0.52, h * 0.42);
            ctx.closePath(); ctx.fill();
            break;
        default:
            // "battery.<n>percent": an outline with a cap, filled to n %.
            if (name.startsWith("battery.")) {
                const level = Math.min(100, Math.max(0, parseInt(name.substring(8)) || 0)) / 100;
                const lw = Math.max(1, w * 0.07);
                ctx.lineWidth = lw;
                ctx.beginPath();
                ctx.roundedRect(w * 0.04, h * 0.26, w * 0.80, h * 0.48, h * 0.1, h * 0.1);
                ctx.stroke();
                ctx.fillRect(w * 0.88, h * 0.40, w * 0.08, h * 0.20);
                ctx.fillRect(w * 0.04 + lw * 1.5, h * 0.26 + lw * 1.5, (w * 0.80 - lw * 3) * level, h * 0.48 - lw * 3);
            }
            break;
        }
    }
}
