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
        case "chevron.right":
            ctx.beginPath();
            ctx.moveTo(w * 0.36, h * 0.16); ctx.lineTo(w * 0.68, h * 0.5); ctx.lineTo(w * 0.36, h * 0.84);
            ctx.stroke();
            break;
        case "doc.on.clipboard": {
            // A board with a clip at its top and lines of text.
            const r = w * 0.1;
            ctx.beginPath();
            ctx.roundedRect(w * 0.16, h * 0.14, w * 0.68, h * 0.8, r, r);
            ctx.stroke();
            ctx.fillRect(w * 0.34, h * 0.06, w * 0.32, h * 0.16);
            ctx.lineWidth = Math.max(1, weight * 0.75);
            for (const y of [0.42, 0.58, 0.74]) {
                ctx.beginPath(); ctx.moveTo(w * 0.32, h * y); ctx.lineTo(w * (y === 0.74 ? 0.54 : 0.68), h * y);
                ctx.stroke();
            }
            break;
        }
        case "lock": {
            const r = w * 0.08;
            ctx.beginPath();
            ctx.arc(w * 0.5, h * 0.42, w * 0.22, Math.PI, 0);
            ctx.lineTo(w * 0.72, h * 0.48); ctx.moveTo(w * 0.28, h * 0.42); ctx.lineTo(w * 0.28, h * 0.48);
            ctx.stroke();
            ctx.beginPath();
            ctx.roundedRect(w * 0.16, h * 0.46, w * 0.68, h * 0.48, r, r);
            ctx.fill();
            break;
        }
        case "arrow.down.circle.fill":
            ctx.beginPath(); ctx.arc(w * 0.5, h * 0.5, w * 0.48, 0, 2 * Math.PI); ctx.fill();
            ctx.strokeStyle = "white";
            ctx.lineWidth = Math.max(1.2, w * 0.1);
            ctx.beginPath(); ctx.moveTo(w * 0.5, h * 0.24); ctx.lineTo(w * 0.5, h * 0.72); ctx.stroke();
            ctx.beginPath();
            ctx.moveTo(w * 0.3, h * 0.54); ctx.lineTo(w * 0.5, h * 0.74); ctx.lineTo(w * 0.7, h * 0.54);
            ctx.stroke();
            break;
        case "sparkles": {
            // One large four-pointed star and a small one.
            const star = (cx, cy, s) => {
                ctx.beginPath();
                ctx.moveTo(cx, cy - s);
                ctx.quadraticCurveTo(cx, cy, cx + s, cy);
                ctx.quadraticCurveTo(cx, cy, cx, cy + s);
                ctx.quadraticCurveTo(cx, cy, cx - s, cy);
                ctx.quadraticCurveTo(cx, cy, cx, cy - s);
                ctx.fill();
            };
            star(w * 0.4, h * 0.58, w * 0.38);
            star(w * 0.78, h * 0.22, w * 0.2);
            break;
        }
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
        case "chevron.left":
            ctx.beginPath();
            ctx.moveTo(w * 0.64, h * 0.14); ctx.lineTo(w * 0.30, h * 0.5); ctx.lineTo(w * 0.64, h * 0.86);
            ctx.stroke();
            break;
        case "trash":
            ctx.beginPath();
            ctx.moveTo(w * 0.10, h * 0.22); ctx.lineTo(w * 0.90, h * 0.22);
            ctx.moveTo(w * 0.38, h * 0.22); ctx.lineTo(w * 0.40, h * 0.08); ctx.lineTo(w * 0.60, h * 0.08);
            ctx.lineTo(w * 0.62, h * 0.22);
            ctx.moveTo(w * 0.20, h * 0.22); ctx.lineTo(w * 0.27, h * 0.94); ctx.lineTo(w * 0.73, h * 0.94);
            ctx.lineTo(w * 0.80, h * 0.22);
            ctx.moveTo(w * 0.42, h * 0.38); ctx.lineTo(w * 0.43, h * 0.78);
            ctx.moveTo(w * 0.58, h * 0.38); ctx.lineTo(w * 0.57, h * 0.78);
            ctx.stroke();
            break;
        case "text.alignleft":
            ctx.beginPath();
            for (const [y, len] of [[0.2, 0.84], [0.4, 0.6], [0.6, 0.84], [0.8, 0.5]]) {
                ctx.moveTo(w * 0.08, h * y); ctx.lineTo(w * (0.08 + len), h * y);
            }
            ctx.stroke();
            break;
        case "pin":
        case "pin.slash":
            ctx.beginPath();
            ctx.moveTo(w * 0.34, h * 0.10); ctx.lineTo(w * 0.66, h * 0.10);
            ctx.lineTo(w * 0.60, h * 0.42); ctx.lineTo(w * 0.78, h * 0.60);
            ctx.lineTo(w * 0.22, h * 0.60); ctx.lineTo(w * 0.40, h * 0.42);
            ctx.closePath();
            ctx.moveTo(w * 0.5, h * 0.60); ctx.lineTo(w * 0.5, h * 0.95);
            if (name === "pin.slash") {
                ctx.moveTo(w * 0.10, h * 0.10); ctx.lineTo(w * 0.90, h * 0.90);
            }
            ctx.stroke();
            break;
        case "xmark.circle.fill":
            ctx.beginPath(); ctx.arc(w * 0.5, h * 0.5, Math.min(w, h) * 0.48, 0, 2 * Math.PI); ctx.fill();
            // The cross is cut out of the disc, so it shows what lies behind.
            ctx.globalCompositeOperation = "destination-out";
            ctx.lineWidth = Math.max(1, w * 0.11);
            ctx.beginPath();
            ctx.moveTo(w * 0.33, h * 0.33); ctx.lineTo(w * 0.67, h * 0.67);
            ctx.moveTo(w * 0.67, h * 0.33); ctx.lineTo(w * 0.33, h * 0.67);
            ctx.stroke();
            ctx.globalCompositeOperation = "source-over";
            break;
        case "rectangle.split.2x2":
            ctx.beginPath();
            ctx.roundedRect(w * 0.06, h * 0.14, w * 0.88, h * 0.72, h * 0.1, h * 0.1);
            ctx.moveTo(w * 0.5, h * 0.14); ctx.lineTo(w * 0.5, h * 0.86);
            ctx.moveTo(w * 0.06, h * 0.5); ctx.lineTo(w * 0.94, h * 0.5);
            ctx.stroke();
            break;
        case "rectangle.on.rectangle":
            ctx.beginPath();
            ctx.roundedRect(w * 0.24, h * 0.12, w * 0.70, h * 0.54, h * 0.08, h * 0.08);
            ctx.moveTo(w * 0.16, h * 0.30); ctx.lineTo(w * 0.06, h * 0.30); ctx.lineTo(w * 0.06, h * 0.86);
            ctx.lineTo(w * 0.76, h * 0.86); ctx.lineTo(w * 0.76, h * 0.76);
            ctx.stroke();
            break;
        case "keyboard.badge.ellipsis": {
            ctx.beginPath();
            ctx.roundedRect(w * 0.04, h * 0.36, w * 0.70, h * 0.56, h * 0.1, h * 0.1);
            ctx.stroke();
            for (let row = 0; row < 2; ++row)
                for (let c = 0; c < 5; ++c)
                    ctx.fillRect(w * (0.12 + c * 0.11), h * (0.46 + row * 0.14), w * 0.07, h * 0.08);
            ctx.fillRect(w * 0.22, h * 0.76, w * 0.32, h * 0.07);
            for (const x of [0.70, 0.82, 0.94]) {
                ctx.beginPath(); ctx.arc(w * x, h * 0.16, w * 0.05, 0, 2 * Math.PI); ctx.fill();
            }
            break;
        }
        case "doc.on.clipboard":
            ctx.beginPath();
            ctx.roundedRect(w * 0.16, h * 0.12, w * 0.68, h * 0.84, w * 0.08, w * 0.08);
            ctx.moveTo(w * 0.32, h * 0.46); ctx.lineTo(w * 0.68, h * 0.46);
            ctx.moveTo(w * 0.32, h * 0.62); ctx.lineTo(w * 0.68, h * 0.62);
            ctx.moveTo(w * 0.32, h * 0.78); ctx.lineTo(w * 0.56, h * 0.78);
            ctx.stroke();
            ctx.fillRect(w * 0.34, h * 0.04, w * 0.32, h * 0.16);
            break;
        case "delete.backward":
            ctx.beginPath();
            ctx.moveTo(w * 0.04, h * 0.5); ctx.lineTo(w * 0.30, h * 0.18); ctx.lineTo(w * 0.94, h * 0.18);
            ctx.lineTo(w * 0.94, h * 0.82); ctx.lineTo(w * 0.30, h * 0.82); ctx.closePath();
            ctx.moveTo(w * 0.48, h * 0.36); ctx.lineTo(w * 0.76, h * 0.64);
            ctx.moveTo(w * 0.76, h * 0.36); ctx.lineTo(w * 0.48, h * 0.64);
            ctx.stroke();
            break;
        case "speaker.wave.2":
            ctx.beginPath();
            ctx.moveTo(w * 0.04, h * 0.36); ctx.lineTo(w * 0.22, h * 0.36); ctx.lineTo(w * 0.46, h * 0.14);
            ctx.lineTo(w * 0.46, h * 0.86); ctx.lineTo(w * 0.22, h * 0.64); ctx.lineTo(w * 0.04, h * 0.64);
            ctx.closePath(); ctx.fill();
            ctx.beginPath(); ctx.arc(w * 0.46, h * 0.5, w * 0.20, -0.9, 0.9); ctx.stroke();
            ctx.beginPath(); ctx.arc(w * 0.46, h * 0.5, w * 0.40, -0.9, 0.9); ctx.stroke();
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
