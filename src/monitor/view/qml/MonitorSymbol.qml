import QtQuick

// The monitor's symbols, drawn as paths so they look the same with any icon theme.
Canvas {
    id: symbol
    property string name
    property color color: "black"
    property real weight: 1.5
    implicitWidth: 14
    implicitHeight: 14
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
        function line(pts) {
            ctx.beginPath();
            ctx.moveTo(w * pts[0], h * pts[1]);
            for (let i = 2; i < pts.length; i += 2)
                ctx.lineTo(w * pts[i], h * pts[i + 1]);
            ctx.stroke();
        }
        function circle(x, y, r, fill) {
            ctx.beginPath();
            ctx.arc(w * x, h * y, w * r, 0, 2 * Math.PI);
            fill ? ctx.fill() : ctx.stroke();
        }
        function gear(cx, cy, r, teeth) {
            ctx.beginPath();
            for (let i = 0; i < teeth * 2; ++i) {
                const a = Math.PI * i / teeth, rr = i % 2 ? r * 0.78 : r;
                ctx.lineTo(w * (cx + rr * Math.cos(a)), h * (cy + rr * Math.sin(a)));
            }
            ctx.closePath();
            ctx.fill();
            ctx.globalCompositeOperation = "destination-out";
            circle(cx, cy, r * 0.35, true);
            ctx.globalCompositeOperation = "source-over";
        }
        switch (name) {
        case "cpu":
        case "cpu.fill":
            ctx.beginPath();
            ctx.roundedRect(w * 0.22, h * 0.22, w * 0.56, h * 0.56, w * 0.08, h * 0.08);
            name === "cpu.fill" ? ctx.fill() : ctx.stroke();
            for (const t of [0.36, 0.5, 0.64]) {
                line([t, 0.05, t, 0.2]); line([t, 0.8, t, 0.95]);
                line([0.05, t, 0.2, t]); line([0.8, t, 0.95, t]);
            }
            if (name === "cpu") {
                ctx.fillRect(w * 0.38, h * 0.38, w * 0.24, h * 0.24);
            }
            break;
        case "memorychip":
            ctx.beginPath();
            ctx.roundedRect(w * 0.06, h * 0.28, w * 0.88, h * 0.36, w * 0.05, h * 0.05);
            ctx.stroke();
            for (const x of [0.2, 0.4, 0.6, 0.8])
                line([x, 0.64, x, 0.86]);
            break;
        case "internaldrive":
            ctx.beginPath();
            ctx.roundedRect(w * 0.06, h * 0.3, w * 0.88, h * 0.42, w * 0.1, h * 0.1);
            ctx.stroke();
            circle(0.76, 0.51, 0.05, true);
            line([0.2, 0.51, 0.5, 0.51]);
            break;
        case "network":
            circle(0.5, 0.5, 0.42, false);
            ctx.beginPath();
            ctx.ellipse(w * 0.3, h * 0.08, w * 0.4, h * 0.84);
            ctx.stroke();
            line([0.08, 0.5, 0.92, 0.5]);
            break;
        case "bolt.fill":
            ctx.beginPath();
            ctx.moveTo(w * 0.60, h * 0.02); ctx.lineTo(w * 0.18, h * 0.56); ctx.lineTo(w * 0.48, h * 0.56);
            ctx.lineTo(w * 0.38, h * 0.98); ctx.lineTo(w * 0.82, h * 0.42); ctx.lineTo(w * 0.52, h * 0.42);
            ctx.closePath(); ctx.fill();
            break;
        case "chevron.left":
            line([0.62, 0.2, 0.34, 0.5, 0.62, 0.8]);
            break;
        case "chevron.right":
            line([0.38, 0.2, 0.66, 0.5, 0.38, 0.8]);
            break;
        case "magnifyingglass":
            circle(0.42, 0.42, 0.28, false);
            line([0.63, 0.63, 0.9, 0.9]);
            break;
        case "xmark.circle.fill":
            circle(0.5, 0.5, 0.46, true);
            ctx.globalCompositeOperation = "destination-out";
            ctx.lineWidth = weight * 1.2;
            line([0.34, 0.34, 0.66, 0.66]); line([0.66, 0.34, 0.34, 0.66]);
            ctx.globalCompositeOperation = "source-over";
            break;
        case "gearshape.fill":
            gear(0.5, 0.5, 0.46, 8);
            break;
        case "gearshape.2.fill":
            gear(0.36, 0.6, 0.34, 7);
            gear(0.74, 0.28, 0.24, 6);
            break;
        case "ellipsis":
            for (const x of [0.2, 0.5, 0.8])
                circle(x, 0.5, 0.08, true);
            break;
        case "thermometer.medium":
            ctx.beginPath();
            ctx.roundedRect(w * 0.38, h * 0.04, w * 0.24, h * 0.62, w * 0.12, w * 0.12);
            ctx.stroke();
            circle(0.5, 0.76, 0.18, true);
            ctx.fillRect(w * 0.45, h * 0.36, w * 0.1, h * 0.4);
            break;
        case "arrow.down.arrow.up":
            line([0.3, 0.1, 0.3, 0.88]); line([0.14, 0.7, 0.3, 0.88, 0.46, 0.7]);
            line([0.7, 0.9, 0.7, 0.12]); line([0.54, 0.3, 0.7, 0.12, 0.86, 0.3]);
            break;
        case "battery.100.bolt":
            ctx.beginPath();
            ctx.roundedRect(w * 0.04, h * 0.26, w * 0.8, h * 0.48, h * 0.1, h * 0.1);
            ctx.fill();
            ctx.fillRect(w * 0.88, h * 0.4, w * 0.08, h * 0.2);
            ctx.globalCompositeOperation = "destination-out";
            ctx.beginPath();
            ctx.moveTo(w * 0.5, h * 0.3); ctx.lineTo(w * 0.3, h * 0.53); ctx.lineTo(w * 0.44, h * 0.53);
            ctx.lineTo(w * 0.38, h * 0.7); ctx.lineTo(w * 0.58, h * 0.47); ctx.lineTo(w * 0.44, h * 0.47);
            ctx.closePath(); ctx.fill();
            ctx.globalCompositeOperation = "source-over";
            break;
        case "powerplug":
            line([0.36, 0.06, 0.36, 0.3]); line([0.64, 0.06, 0.64, 0.3]);
            ctx.beginPath();
            ctx.moveTo(w * 0.18, h * 0.3); ctx.lineTo(w * 0.82, h * 0.3); ctx.lineTo(w * 0.82, h * 0.5);
            ctx.quadraticCurveTo(w * 0.82, h * 0.72, w * 0.5, h * 0.72);
            ctx.quadraticCurveTo(w * 0.18, h * 0.72, w * 0.18, h * 0.5);
            ctx.closePath(); ctx.fill();
            line([0.5, 0.72, 0.5, 0.96]);
            break;
        case "fanblades.fill":
        case "fan.slash":
            for (let i = 0; i < 3; ++i) {
                const a = i * 2 * Math.PI / 3;
                ctx.beginPath();
                ctx.ellipse(w * (0.5 + 0.22 * Math.cos(a)) - w * 0.16, h * (0.5 + 0.22 * Math.sin(a)) - h * 0.16,
                            w * 0.32, h * 0.32);
                ctx.fill();
            }
            if (name === "fan.slash") {
                ctx.globalCompositeOperation = "destination-out";
                ctx.lineWidth = weight * 2.6;
                line([0.1, 0.1, 0.9, 0.9]);
                ctx.globalCompositeOperation = "source-over";
                line([0.1, 0.1, 0.9, 0.9]);
            }
            break;
        }
    }
}
